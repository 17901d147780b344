#include "CParkedHostReferences.h"
#include "CHostCallWorkers.h"
#include "support/UnreadMarshalData.h"
#include <new>

namespace {
volatile LONG g_parked = 0;  // objects alive
}

CParkedHostReferences::CParkedHostReferences() noexcept { InterlockedIncrement(&g_parked); }

CParkedHostReferences::~CParkedHostReferences() {
    m_references.clear();  // each release is a call to the host, which has answered
    InterlockedDecrement(&g_parked);
}

void CParkedHostReferences::Park(std::initializer_list<IUnknown*> references) noexcept {
    CParkedHostReferences* parked = nullptr;
    ComPtr<IUnknown> owner;
    try {
        parked = new CParkedHostReferences();
        owner.attach(parked);
        parked->m_references.reserve(references.size());
    } catch (const std::bad_alloc&) {
        // Left unreleased: better a reference lost than a Run that hangs releasing it.
        return;
    }
    for (IUnknown* reference : references) {
        if (!reference) continue;
        parked->m_references.emplace_back();
        parked->m_references.back().attach(reference);
    }
    IStream* marshalled = nullptr;
    if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, owner.get(), &marshalled))) {
        // Nobody could release them later: left unreleased, as above.
        for (ComPtr<IUnknown>& reference : parked->m_references) (void)reference.detach();
        return;
    }
    // The open has returned already (or none was given up on): they go at once, here.
    if (!CHostCallWorkers::ReleaseAfterAbandonedCall(marshalled)) ReleaseUnreadMarshalData(marshalled);
}

bool CParkedHostReferences::Any() noexcept { return InterlockedCompareExchange(&g_parked, 0, 0) != 0; }

HRESULT CParkedHostReferences::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

ULONG CParkedHostReferences::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CParkedHostReferences::Release() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}
