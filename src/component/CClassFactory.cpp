#include "CClassFactory.h"
#include "CCAI_Call.h"
#include "runtime/CModuleLock.h"
#include "support/InterfaceId.h"

HRESULT CClassFactory::QueryInterface(REFIID received, void** out) {
    if (!out) return E_POINTER;
    const IID iid = InterfaceId(&received);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CClassFactory::AddRef() { return InterlockedIncrement(&m_refs); }

ULONG CClassFactory::Release() {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return CCAI_Call::Create(outer, InterfaceId(&iid), out);
}

HRESULT CClassFactory::LockServer(BOOL lock) {
    if (lock)
        CModuleLock::Lock();
    else
        CModuleLock::Unlock();
    return S_OK;
}
