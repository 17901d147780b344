#pragma once
#include <windows.h>
#include <objidl.h>
#include <string>

// The moniker "<class>:<profile>". Binding looks the running Vecta of that release and
// profile up in the running object table; when none runs it yields MK_E_UNAVAILABLE.
class CInstanceMoniker final : public IMoniker {
public:
    CInstanceMoniker(REFCLSID classId, std::wstring className, std::wstring profile);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    // IPersist, IPersistStream: the moniker stays in the caller's process, so it is not persisted.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) noexcept override;
    HRESULT STDMETHODCALLTYPE IsDirty() noexcept override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) noexcept override { return E_NOTIMPL; }
    // IMoniker
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* context, IMoniker* left, REFIID riid, void** out) noexcept override;
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID, void** out) noexcept override;
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker** left, IMoniker** reduced) noexcept override;
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker** composite) noexcept override;
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker** enumerator) noexcept override;
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) noexcept override;
    HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) noexcept override;
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* context, IMoniker* left, IMoniker* newlyRunning) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse) noexcept override;
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker** prefix) noexcept override;
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker** relative) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) noexcept override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG* eaten, IMoniker** out) noexcept override;
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) noexcept override;

private:
    ~CInstanceMoniker();
    std::wstring DisplayName() const { return m_className + L":" + m_profile; }
    HRESULT Lookup(IBindCtx* context, IUnknown** object) const;

    LONG m_refs = 1;
    CLSID m_classId;
    std::wstring m_className;
    std::wstring m_profile;
};
