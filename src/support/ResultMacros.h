#pragma once
#include <windows.h>
#include <winerror.h>
#include <new>

#define RETURN_IF_FAILED(expr)                      \
    do {                                            \
        const HRESULT hr_ = (expr);                 \
        if (FAILED(hr_)) return hr_;                \
    } while (0)

// The Win32 time-out 1460 as an HRESULT (0x800705B4).
constexpr HRESULT HR_TIMEOUT = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// The calling thread's last Win32 error as an HRESULT.
inline HRESULT HResultFromLastError() noexcept { return HRESULT_FROM_WIN32(GetLastError()); }

// Turns the exception in flight into an HRESULT; for catch blocks at COM boundaries.
inline HRESULT HResultFromCaught() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
