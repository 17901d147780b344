#include "FakeVectaDocuments.h"
#include "FakeVectaDocument.h"
#include "FakeVectaHost.h"

HRESULT FakeVectaDocuments::get_Count(long* count) {
    *count = static_cast<long>(m_host.documents.size());
    return m_host.countResult;
}

HRESULT FakeVectaDocuments::Item(VARIANT index, IVectaDocument** document) {
    *document = nullptr;
    if (V_VT(&index) != VT_I4 || V_I4(&index) < 0 || static_cast<size_t>(V_I4(&index)) >= m_host.documents.size())
        return E_INVALIDARG;
    *document = m_host.documents[V_I4(&index)].get();
    (*document)->AddRef();
    return S_OK;
}

HRESULT FakeVectaDocuments::Add(VARIANT templateName, IVectaDocument** document) {
    m_host.journal.push_back(L"Add(" + FakeVectaDocument::Describe(templateName) + L")");
    *document = nullptr;
    if (m_host.addReturnsDocument) {
        *document = m_host.NewDocument(L"", false);
        (*document)->AddRef();
    }
    return m_host.addResult;
}

HRESULT FakeVectaDocuments::Open(BSTR fullName, VARIANT readOnly, VARIANT password, IVectaDocument** document) {
    const std::wstring name = fullName ? fullName : L"";
    m_host.journal.push_back(L"Open(\"" + name + L"\", " + FakeVectaDocument::Describe(readOnly) + L", " +
                             FakeVectaDocument::Describe(password) + L")");
    *document = nullptr;
    if (m_host.openReturnsDocument) {
        *document = m_host.NewDocument(name, V_VT(&readOnly) == VT_I4 && V_I4(&readOnly) == 1);
        (*document)->AddRef();
    }
    return m_host.openResult;
}
