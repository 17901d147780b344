#pragma once
#include "FakeDispatch.h"
#include <vecta.h>

class FakeVectaHost;

// The PDM add-in object of the in-process Vecta. When the host says the add-in lacks its
// interface, only IUnknown and IDispatch are answered.
class FakeAddIn final : public FakeDispatch<IVntAddIn> {
public:
    explicit FakeAddIn(FakeVectaHost& host) noexcept : m_host(host) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE SetCAICallback(ICAICallback* callback) override;
    HRESULT STDMETHODCALLTYPE SetSymbol(BSTR name, BSTR value) override;

private:
    FakeVectaHost& m_host;
};
