#include "CSimMessageFilter.h"
#include "CSimHost.h"

namespace {
// IRemUnknown: reference counting of the proxies, which a busy host still serves.
constexpr GUID kRemUnknown = {0x00000131, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DWORD kCancelCall = static_cast<DWORD>(-1);
}  // namespace

CSimMessageFilter::~CSimMessageFilter() {
    if (m_registered) CoRegisterMessageFilter(nullptr, nullptr);
}

HRESULT CSimMessageFilter::Register() {
    const HRESULT hr = CoRegisterMessageFilter(this, nullptr);
    m_registered = SUCCEEDED(hr);
    return hr;
}

HRESULT CSimMessageFilter::QueryInterface(REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMessageFilter) return E_NOINTERFACE;
    *out = static_cast<IMessageFilter*>(this);
    return S_OK;
}

DWORD CSimMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) noexcept {
    try {
        if (info && info->iid == kRemUnknown) return SERVERCALL_ISHANDLED;
        m_host.Faults().Refresh();
        if (!m_host.Faults().rejectWhileBusy || m_host.IsIdle()) return SERVERCALL_ISHANDLED;
        m_host.Trace().Record(L"Application", L"Reject", {}, RPC_E_CALL_REJECTED);
        // A busy host answers SERVERCALL_RETRYLATER, which a caller without a message filter of
        // its own sees as RPC_E_CALL_REJECTED; Wine does not act on that answer, so refuse outright.
        return SERVERCALL_REJECTED;
    } catch (...) {
        return SERVERCALL_ISHANDLED;
    }
}

// The simulator's own outgoing calls (the client's callback) are not retried.
DWORD CSimMessageFilter::RetryRejectedCall(HTASK, DWORD, DWORD) noexcept { return kCancelCall; }

DWORD CSimMessageFilter::MessagePending(HTASK, DWORD, DWORD) noexcept { return PENDINGMSG_WAITDEFPROCESS; }
