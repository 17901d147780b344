#pragma once
#include <windows.h>

// Worker threads whose host call a Run may give up waiting for (the timed open's), from their
// start until they end. Module-wide: a Run parks host references that may be released only
// once the worker it gave up on has had its answer from the host.
class CHostCallWorkers {
public:
    // A worker's record, owned by the worker; listed from Add until End.
    struct Record {
        unsigned long id = 0;  // given by Add, never 0
        // Under the list's lock: the thread that gave up waiting for the worker, until it
        // takes the mark.
        DWORD abandonedBy = 0;
    };

    static void Add(Record* worker);
    // The worker's host call has returned: it is taken out of the list.
    static void End(Record* worker) noexcept;
    // The worker becomes the one this thread last gave up on, unless it has ended meanwhile.
    static void MarkAbandoned(Record* worker) noexcept;
    // Workers started and not ended yet, abandoned ones included.
    static LONG Running() noexcept;

    // The worker this thread last gave up on, still waiting for the host; 0 when its call has
    // returned already or this thread gave up on none since it last asked.
    [[nodiscard]] static unsigned long TakeAbandoned() noexcept;
    static bool IsRunning(unsigned long id) noexcept;
};
