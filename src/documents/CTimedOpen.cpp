#include "CTimedOpen.h"
#include "CDocumentSetup.h"
#include "host/CVectaArgument.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"

HRESULT CTimedOpen::ThreadOpenDoc(const std::wstring& path, bool& opened) const {
    ComPtr<IVectaDocuments> documents;
    RETURN_IF_FAILED(m_context.application->get_Documents(documents.put()));
    if (!documents) return E_POINTER;
    // The caller finds the drawing again as the host's active document.
    UniqueBstr name(path);
    ComPtr<IVectaDocument> document;
    const HRESULT hr = documents->Open(name.get(), CVectaArgument::Index(0), CVectaArgument::Index(0), document.put());
    opened = document.get() != nullptr;
    return hr;
}

HRESULT CTimedOpen::Open(const std::wstring& path, IVectaDocument** document) const {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!m_context.application) return E_POINTER;
    CUtils& utils = CUtils::Instance();

    m_job.BeginLimited();
    bool opened = false;
    HRESULT hr = ThreadOpenDoc(path, opened);
    if (!m_job.EndLimited()) return HR_TIMEOUT;
    // A host that answers success without a document has opened nothing: its active drawing
    // is some other one, which publishing would close unsaved.
    if (SUCCEEDED(hr) && !opened) {
        hr = E_FAIL;
        utils.WriteLog(CUtils::LevelError, L"ThreadOpenDoc: IVectaDocuments->Open() returned no document (hr = %X)", hr);
    }

    ComPtr<IVectaDocument> active;
    if (SUCCEEDED(hr)) hr = m_context.application->get_ActiveDocument(active.put());
    if (SUCCEEDED(hr) && !active) hr = E_POINTER;
    UniqueBstr fullName;
    if (SUCCEEDED(hr)) hr = active->get_FullName(fullName.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to open document (hr = %X)", hr);
        return E_FAIL;
    }

    hr = CDocumentSetup::InitDocument(m_context, active.get());
    utils.WriteLog(CUtils::LevelInfo, L"OpenDocumentWithTimeout: Successfully opened document");
    *document = active.detach();
    return hr;
}
