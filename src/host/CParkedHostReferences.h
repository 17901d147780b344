#pragma once
#include "support/ComPtr.h"
#include <objbase.h>
#include <initializer_list>

// Host references that the Run thread must not release while the host is stuck in an
// abandoned open: a proxy's last release calls the host and would wait for it. They are
// kept here and released by the thread that held them (their apartment) once no abandoned
// open is left, that is once the host has answered.
class CParkedHostReferences {
public:
    // Takes over references owned by the calling thread (null ones are skipped).
    static void Park(std::initializer_list<IUnknown*> references) noexcept;
    // Releases what this thread parked, when the host has answered; a no-op otherwise.
    static void ReleaseAnswered() noexcept;
    // True while references wait; the module stays loaded meanwhile.
    static bool Any() noexcept;

    // For an owner whose end is a good moment to let go of what its thread parked.
    struct ReleaseAtEnd {
        ~ReleaseAtEnd() { ReleaseAnswered(); }
    };
};
