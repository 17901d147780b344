#pragma once
#include <windows.h>

// The module's lock count: live CAI_Call objects plus server locks. The module may unload
// only at zero.
class CModuleLock {
public:
    static void Lock() noexcept;
    static void Unlock() noexcept;
    static LONG Count() noexcept;
    // No lock and no thread of ours still running.
    static bool CanUnload() noexcept;
};
