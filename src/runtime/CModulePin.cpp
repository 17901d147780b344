#include "CModulePin.h"
#include <windows.h>

namespace {
volatile LONG g_pinned = 0;
}

void CModulePin::Pin() noexcept {
    if (InterlockedCompareExchange(&g_pinned, 1, 0) != 0) return;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&CModulePin::Pin), &module))
        InterlockedExchange(&g_pinned, 0);  // tried again with the next object
}
