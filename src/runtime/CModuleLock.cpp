#include "CModuleLock.h"
#include "CComponentThreads.h"

namespace {
volatile LONG g_locks = 0;
}

void CModuleLock::Lock() noexcept { InterlockedIncrement(&g_locks); }
void CModuleLock::Unlock() noexcept { InterlockedDecrement(&g_locks); }
LONG CModuleLock::Count() noexcept { return InterlockedCompareExchange(&g_locks, 0, 0); }

bool CModuleLock::CanUnload() noexcept {
    return Count() == 0 && !CComponentThreads::AnyRunning();
}
