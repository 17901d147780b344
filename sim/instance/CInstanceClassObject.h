#pragma once
#include <windows.h>
#include <objidl.h>
#include <string>

// The class object of one moniker class ("QELDVecta17Instance" or "QELDVecta16Instance").
// MkParseDisplayName asks it for IParseDisplayName; a static object that lives with the DLL.
class CInstanceClassObject : public IClassFactory, public IParseDisplayName {
public:
    CInstanceClassObject(REFCLSID classId, const wchar_t* className) noexcept
        : m_classId(classId), m_className(className) {}

    REFCLSID ClassId() const noexcept { return m_classId; }
    const wchar_t* ClassName() const noexcept { return m_className; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;
    // Accepts "<class>:<profile>" with any profile; the whole text is eaten.
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* context, LPOLESTR displayName, ULONG* eaten,
                                               IMoniker** out) noexcept override;

private:
    CLSID m_classId;
    const wchar_t* m_className;
};
