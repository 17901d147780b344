#pragma once
#include <windows.h>

// The threads the component starts beside a Run (the cancel thread, the timed open's
// worker). Each holds its own reference on the module from before it starts until it has
// left the module's code, so a client that frees the library meanwhile cannot unmap code a
// thread still runs; the module reports that it cannot unload until each has ended.
class CComponentThreads {
public:
    // Starts procedure(argument); the handle is the caller's to close, null on failure
    // (GetLastError tells why). The thread's exit code is procedure's result.
    [[nodiscard]] static HANDLE Start(LPTHREAD_START_ROUTINE procedure, void* argument) noexcept;
    // True while a thread started here has not ended.
    static bool AnyRunning() noexcept;
};
