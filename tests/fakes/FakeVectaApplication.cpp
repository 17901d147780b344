#include "FakeVectaApplication.h"
#include "FakeAddIn.h"
#include "FakeVectaDocument.h"
#include "FakeVectaDocuments.h"
#include "FakeVectaHost.h"

HRESULT FakeVectaApplication::get_ActiveDocument(IVectaDocument** document) {
    *document = nullptr;
    if (FAILED(m_host.activeDocumentResult)) return m_host.activeDocumentResult;
    if (!m_host.active) return E_FAIL;
    *document = m_host.active;
    (*document)->AddRef();
    return S_OK;
}

HRESULT FakeVectaApplication::get_Version(BSTR* version) {
    *version = nullptr;
    if (FAILED(m_host.versionResult)) return m_host.versionResult;
    *version = SysAllocString(m_host.version.c_str());
    return S_OK;
}

HRESULT FakeVectaApplication::GetInterfaceObject(BSTR progId, IDispatch** object) {
    m_host.journal.push_back(L"GetInterfaceObject(" + std::wstring(progId ? progId : L"") + L")");
    *object = nullptr;
    if (FAILED(m_host.interfaceObjectResult)) return m_host.interfaceObjectResult;
    *object = new FakeAddIn(m_host);
    return S_OK;
}

HRESULT FakeVectaApplication::get_Documents(IVectaDocuments** documents) {
    *documents = nullptr;
    if (FAILED(m_host.documentsResult)) return m_host.documentsResult;
    *documents = new FakeVectaDocuments(m_host);
    return S_OK;
}
