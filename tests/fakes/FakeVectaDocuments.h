#pragma once
#include "FakeDispatch.h"
#include <vecta.h>

class FakeVectaHost;

// The documents collection of the in-process Vecta.
class FakeVectaDocuments final : public FakeDispatch<IVectaDocuments> {
public:
    explicit FakeVectaDocuments(FakeVectaHost& host) noexcept : m_host(host) {}

    HRESULT STDMETHODCALLTYPE get_Count(long* count) override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IVectaDocument** document) override;
    HRESULT STDMETHODCALLTYPE Add(VARIANT templateName, IVectaDocument** document) override;
    HRESULT STDMETHODCALLTYPE Open(BSTR fullName, VARIANT readOnly, VARIANT password, IVectaDocument** document) override;

private:
    FakeVectaHost& m_host;
};
