#pragma once
#include <windows.h>

// The threads the component starts beside a Run (the cancel thread, the timed open's
// worker). They hold no reference on the module: the module reports that it cannot unload
// until each of them has ended, so they end by returning and the runtime frees what it
// keeps for them.
class CComponentThreads {
public:
    // Starts procedure(argument); the handle is the caller's to close, null on failure
    // (GetLastError tells why).
    [[nodiscard]] static HANDLE Start(LPTHREAD_START_ROUTINE procedure, void* argument) noexcept;
    // True while a thread started here has not ended.
    static bool AnyRunning() noexcept;
};
