#pragma once
#include <objbase.h>
#include <initializer_list>

// Host references that a Run must not release while the host is stuck in an abandoned open:
// a proxy's last release calls the host and would wait for it. They stay with the apartment
// of the thread that parked them, which alone releases them, once the worker it gave up on
// has had the host's answer: at its next Run, or when the thread leaves COM. Nothing calls
// into that apartment for them, so an apartment that is ending is never waited for.
class CParkedHostReferences {
public:
    // Takes over references owned by the calling thread (null ones are skipped); released at
    // once when the open given up on has returned already, or none was.
    static void Park(std::initializer_list<IUnknown*> references) noexcept;
    // Releases what the calling thread's apartment parked and the host has answered for.
    static void ReleaseAnswered() noexcept;
    // True while parked references wait; the module stays loaded meanwhile.
    static bool Any() noexcept;
};
