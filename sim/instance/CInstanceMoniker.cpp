#include "CInstanceMoniker.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "CInstanceModule.h"
#include "InstanceNames.h"

CInstanceMoniker::CInstanceMoniker(REFCLSID classId, std::wstring className, std::wstring profile)
    : m_classId(classId), m_className(std::move(className)), m_profile(std::move(profile)) {
    CInstanceModule::Lock();
}

CInstanceMoniker::~CInstanceMoniker() { CInstanceModule::Unlock(); }

HRESULT CInstanceMoniker::QueryInterface(REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPersist && riid != IID_IPersistStream && riid != IID_IMoniker)
        return E_NOINTERFACE;
    *out = static_cast<IMoniker*>(this);
    AddRef();
    return S_OK;
}

ULONG CInstanceMoniker::AddRef() noexcept { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CInstanceMoniker::Release() noexcept {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT CInstanceMoniker::GetClassID(CLSID* classId) noexcept {
    if (!classId) return E_POINTER;
    *classId = m_classId;
    return S_OK;
}

HRESULT CInstanceMoniker::Lookup(IBindCtx* context, IUnknown** object) const {
    try {
        ComPtr<IRunningObjectTable> rot;
        RETURN_IF_FAILED(context ? context->GetRunningObjectTable(rot.put()) : GetRunningObjectTable(0, rot.put()));
        ComPtr<IMoniker> item;
        RETURN_IF_FAILED(CreateInstanceItemMoniker(m_className, m_profile, item.put()));
        // An entry whose process has gone cannot be unmarshalled: that instance is not running either.
        if (FAILED(rot->GetObject(item.get(), object)) || !*object) return MK_E_UNAVAILABLE;
        return S_OK;
    } catch (...) {
        return HResultFromCaught();
    }
}

HRESULT CInstanceMoniker::BindToObject(IBindCtx* context, IMoniker* left, REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (left) return E_INVALIDARG;
    ComPtr<IUnknown> object;
    RETURN_IF_FAILED(Lookup(context, object.put()));
    return object->QueryInterface(riid, out);
}

HRESULT CInstanceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID, void** out) noexcept {
    if (out) *out = nullptr;
    return MK_E_NOSTORAGE;
}

HRESULT CInstanceMoniker::Reduce(IBindCtx*, DWORD, IMoniker** left, IMoniker** reduced) noexcept {
    if (!reduced) return E_POINTER;
    if (left) *left = nullptr;
    *reduced = this;
    AddRef();
    return MK_S_REDUCED_TO_SELF;
}

HRESULT CInstanceMoniker::ComposeWith(IMoniker*, BOOL, IMoniker** composite) noexcept {
    if (composite) *composite = nullptr;
    return MK_E_NEEDGENERIC;
}

HRESULT CInstanceMoniker::Enum(BOOL, IEnumMoniker** enumerator) noexcept {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    return S_OK;
}

HRESULT CInstanceMoniker::IsEqual(IMoniker* other) noexcept {
    if (!other) return E_INVALIDARG;
    LPOLESTR name = nullptr;
    if (FAILED(other->GetDisplayName(nullptr, nullptr, &name)) || !name) return S_FALSE;
    const bool same = lstrcmpiW(name, DisplayName().c_str()) == 0;
    CoTaskMemFree(name);
    return same ? S_OK : S_FALSE;
}

HRESULT CInstanceMoniker::Hash(DWORD* hash) noexcept {
    if (!hash) return E_POINTER;
    DWORD value = 0;
    for (wchar_t c : DisplayName()) value = value * 31 + static_cast<DWORD>(towupper(c));
    *hash = value;
    return S_OK;
}

HRESULT CInstanceMoniker::IsRunning(IBindCtx* context, IMoniker*, IMoniker*) noexcept {
    ComPtr<IUnknown> object;
    return SUCCEEDED(Lookup(context, object.put())) ? S_OK : S_FALSE;
}

HRESULT CInstanceMoniker::Inverse(IMoniker** inverse) noexcept {
    if (!inverse) return E_POINTER;
    return CreateAntiMoniker(inverse);
}

HRESULT CInstanceMoniker::CommonPrefixWith(IMoniker*, IMoniker** prefix) noexcept {
    if (prefix) *prefix = nullptr;
    return MK_E_NOPREFIX;
}

HRESULT CInstanceMoniker::RelativePathTo(IMoniker*, IMoniker** relative) noexcept {
    if (relative) *relative = nullptr;
    return MK_E_NOTBINDABLE;
}

HRESULT CInstanceMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) noexcept {
    if (!name) return E_POINTER;
    *name = nullptr;
    try {
        const std::wstring text = DisplayName();
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!*name) return E_OUTOFMEMORY;
        memcpy(*name, text.c_str(), bytes);
        return S_OK;
    } catch (...) {
        return HResultFromCaught();
    }
}

HRESULT CInstanceMoniker::ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG* eaten, IMoniker** out) noexcept {
    if (eaten) *eaten = 0;
    if (out) *out = nullptr;
    return MK_E_SYNTAX;
}

HRESULT CInstanceMoniker::IsSystemMoniker(DWORD* kind) noexcept {
    if (!kind) return E_POINTER;
    *kind = MKSYS_NONE;
    return S_FALSE;
}
