#include "CInstanceClassObject.h"
#include "CInstanceModule.h"
#include "CInstanceMoniker.h"
#include "support/ResultMacros.h"

HRESULT CInstanceClassObject::QueryInterface(REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IClassFactory)
        *out = static_cast<IClassFactory*>(this);
    else if (riid == IID_IParseDisplayName)
        *out = static_cast<IParseDisplayName*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CInstanceClassObject::AddRef() noexcept {
    CInstanceModule::Lock();
    return 2;
}

ULONG CInstanceClassObject::Release() noexcept {
    CInstanceModule::Unlock();
    return 1;
}

HRESULT CInstanceClassObject::CreateInstance(IUnknown* outer, REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // The class has no instances of its own: what is created is its display-name parser.
    return riid == IID_IParseDisplayName ? QueryInterface(riid, out) : E_NOINTERFACE;
}

HRESULT CInstanceClassObject::LockServer(BOOL lock) noexcept {
    if (lock) CInstanceModule::Lock();
    else CInstanceModule::Unlock();
    return S_OK;
}

HRESULT CInstanceClassObject::ParseDisplayName(IBindCtx*, LPOLESTR displayName, ULONG* eaten,
                                               IMoniker** out) noexcept {
    if (!eaten || !out) return E_POINTER;
    *eaten = 0;
    *out = nullptr;
    if (!displayName) return E_INVALIDARG;
    try {
        const std::wstring text = displayName;
        const std::wstring prefix = std::wstring(m_className) + L":";
        if (text.size() < prefix.size() || _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) != 0)
            return MK_E_SYNTAX;
        *out = new CInstanceMoniker(m_classId, m_className, text.substr(prefix.size()));
        *eaten = static_cast<ULONG>(text.size());
        return S_OK;
    } catch (...) {
        return HResultFromCaught();
    }
}
