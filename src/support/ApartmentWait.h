#pragma once
#include "UniqueHandle.h"
#include <objbase.h>

// Waits for handle at most milliseconds; true when it was signalled. An apartment thread
// keeps serving calls into its apartment meanwhile, so that the thread it waits for may
// still call objects that live here; a thread outside COM just waits.
inline bool WaitServingCalls(HANDLE handle, DWORD milliseconds) noexcept {
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, milliseconds, 1, &handle, &index);
    if (hr == S_OK) return true;
    if (hr == RPC_S_CALLPENDING) return false;
    return WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
}

// As above for the first of two handles to be signalled: its index, or WAIT_TIMEOUT.
inline DWORD WaitServingCalls(HANDLE first, HANDLE second, DWORD milliseconds) noexcept {
    HANDLE handles[] = {first, second};
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, milliseconds, 2, handles, &index);
    if (hr == S_OK) return index;
    if (hr == RPC_S_CALLPENDING) return WAIT_TIMEOUT;
    const DWORD waited = WaitForMultipleObjects(2, handles, FALSE, milliseconds);
    return waited < WAIT_OBJECT_0 + 2 ? waited - WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// Sleeps, serving calls into the calling thread's apartment as above.
inline void SleepServingCalls(DWORD milliseconds) noexcept {
    static const UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));  // freed at unload
    if (!never.valid()) {
        Sleep(milliseconds);
        return;
    }
    (void)WaitServingCalls(never.get(), milliseconds);
}
