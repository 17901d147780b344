#pragma once
#include "FakeDispatch.h"
#include <vecta.h>

class FakeVectaHost;

// The application object of the in-process Vecta.
class FakeVectaApplication final : public FakeDispatch<IVectaApplication> {
public:
    explicit FakeVectaApplication(FakeVectaHost& host) noexcept : m_host(host) {}

    HRESULT STDMETHODCALLTYPE get_ActiveDocument(IVectaDocument** document) override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* version) override;
    HRESULT STDMETHODCALLTYPE LoadAddIn(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInterfaceObject(BSTR progId, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE Quit() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MenuGroups(IVectaMenuGroups**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MenuBar(IVectaMenuBar**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Documents(IVectaDocuments** documents) override;
    HRESULT STDMETHODCALLTYPE get_State(IVectaState**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_HWND(long*) override { return E_NOTIMPL; }

private:
    FakeVectaHost& m_host;
};
