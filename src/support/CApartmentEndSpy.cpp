#include "CApartmentEndSpy.h"
#include "ComPtr.h"
#include "InterfaceId.h"
#include <new>

namespace {
// Set on a thread once its spy is registered; a system slot, so no runtime record per thread.
const DWORD g_watchedSlot = TlsAlloc();
}  // namespace

bool CApartmentEndSpy::Watch(Callback onEnd) noexcept {
    if (g_watchedSlot == TLS_OUT_OF_INDEXES) return false;
    if (TlsGetValue(g_watchedSlot)) return true;
    ComPtr<CApartmentEndSpy> spy;
    spy.attach(new (std::nothrow) CApartmentEndSpy(onEnd));
    ULARGE_INTEGER cookie{};
    if (!spy || FAILED(CoRegisterInitializeSpy(spy.get(), &cookie))) return false;
    TlsSetValue(g_watchedSlot, spy.get());  // COM holds it for the thread's lifetime
    return true;
}

HRESULT CApartmentEndSpy::QueryInterface(REFIID received, void** out) {
    if (!out) return E_POINTER;
    const IID iid = InterfaceId(&received);
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IInitializeSpy)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IInitializeSpy*>(this);
    AddRef();
    return S_OK;
}

ULONG CApartmentEndSpy::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CApartmentEndSpy::Release() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CApartmentEndSpy::PreUninitialize(DWORD apartmentReferences) {
    if (apartmentReferences == 1) m_onEnd();
    return S_OK;
}
