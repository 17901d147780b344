#pragma once
#include "CSimObject.h"

// Vecta's application object: the one object registered in the running object table.
class CSimApplication : public CSimObject<IVectaApplication> {
public:
    explicit CSimApplication(CSimHost& host) noexcept : CSimObject(host) {}

    HRESULT STDMETHODCALLTYPE get_ActiveDocument(IVectaDocument** document) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* version) noexcept override;
    HRESULT STDMETHODCALLTYPE LoadAddIn(BSTR fullPath) noexcept override;
    HRESULT STDMETHODCALLTYPE GetInterfaceObject(BSTR progId, IDispatch** object) noexcept override;
    HRESULT STDMETHODCALLTYPE Quit() noexcept override;
    HRESULT STDMETHODCALLTYPE get_MenuGroups(IVectaMenuGroups** groups) noexcept override;
    HRESULT STDMETHODCALLTYPE get_MenuBar(IVectaMenuBar** bar) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Documents(IVectaDocuments** documents) noexcept override;
    HRESULT STDMETHODCALLTYPE get_State(IVectaState** state) noexcept override;
    HRESULT STDMETHODCALLTYPE get_HWND(long* hwnd) noexcept override;

private:
    std::wstring TraceName() const override { return L"Application"; }
};
