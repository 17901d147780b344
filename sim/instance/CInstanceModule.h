#pragma once
#include <windows.h>

// The DLL's count of live objects and server locks, for DllCanUnloadNow.
class CInstanceModule {
public:
    static void Lock() noexcept { InterlockedIncrement(&s_locks); }
    static void Unlock() noexcept { InterlockedDecrement(&s_locks); }
    static bool InUse() noexcept { return InterlockedCompareExchange(&s_locks, 0, 0) != 0; }
    static HMODULE Handle() noexcept { return s_module; }
    static void SetHandle(HMODULE module) noexcept { s_module = module; }

private:
    static inline LONG s_locks = 0;
    static inline HMODULE s_module = nullptr;
};
