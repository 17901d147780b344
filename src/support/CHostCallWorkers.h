#pragma once
#include <objidl.h>
#include <windows.h>

// Worker threads whose host call a Run may give up waiting for (the timed open's), from their
// start until they end, and what an abandoned one is to release once its call has returned.
// Module-wide: a Run parks host references here that only the worker may let go of.
class CHostCallWorkers {
public:
    // A worker's record, owned by the worker; listed from Add until End.
    struct Record {
        // Under the list's lock: the thread that gave up waiting, until it hands over an
        // object to release, and that object's marshal data.
        DWORD abandonedBy = 0;
        IStream* releaseAfterCall = nullptr;
    };

    static void Add(Record* worker);
    // Takes the worker out of the list; returns what it is to release on its way out.
    [[nodiscard]] static IStream* End(Record* worker) noexcept;
    // The worker becomes the one this thread last gave up on, unless it has ended meanwhile.
    static void MarkAbandoned(Record* worker) noexcept;
    // Workers started and not ended yet, abandoned ones included.
    static LONG Running() noexcept;

    // Hands the worker this thread last gave up on an object, marshalled for it, which it
    // releases once its call has returned (the release runs in the object's apartment).
    // False, the stream staying the caller's, when that call has returned already or this
    // thread gave up on none since its last hand-over.
    [[nodiscard]] static bool ReleaseAfterAbandonedCall(IStream* marshalled) noexcept;
};
