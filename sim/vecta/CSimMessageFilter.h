#pragma once
#include <windows.h>
#include <objbase.h>

class CSimHost;

// The main thread's message filter: while a command runs and the control file asks for it,
// incoming calls are refused as a busy host refuses them, so that callers see
// RPC_E_CALL_REJECTED. Registered for the main thread's lifetime.
class CSimMessageFilter final : public IMessageFilter {
public:
    explicit CSimMessageFilter(CSimHost& host) noexcept : m_host(host) {}
    CSimMessageFilter(const CSimMessageFilter&) = delete;
    CSimMessageFilter& operator=(const CSimMessageFilter&) = delete;
    ~CSimMessageFilter();

    [[nodiscard]] HRESULT Register();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
    // Lives on the stack of the main thread; COM's references do not own it.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO info) noexcept override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) noexcept override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) noexcept override;

private:
    CSimHost& m_host;
    bool m_registered = false;
};
