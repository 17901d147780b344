#pragma once
#include "CSimObject.h"

// The documents collection: a view of the host's open drawings.
class CSimDocuments : public CSimObject<IVectaDocuments> {
public:
    explicit CSimDocuments(CSimHost& host) noexcept : CSimObject(host) {}

    HRESULT STDMETHODCALLTYPE get_Count(long* count) noexcept override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IVectaDocument** document) noexcept override;
    HRESULT STDMETHODCALLTYPE Add(VARIANT templateName, IVectaDocument** document) noexcept override;
    HRESULT STDMETHODCALLTYPE Open(BSTR fullName, VARIANT readOnly, VARIANT password,
                                   IVectaDocument** document) noexcept override;

private:
    std::wstring TraceName() const override { return L"Documents"; }
};
