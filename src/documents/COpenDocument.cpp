#include "COpenDocument.h"
#include "CDocumentSetup.h"
#include "CKeyMaintenance.h"
#include "client/CVantorDocument.h"
#include "host/CVectaArgument.h"
#include "support/CCommandLine.h"
#include "support/COutsideValue.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"

namespace {

bool SameFullName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

HRESULT COpenDocument::OpenDocument(CDocumentContext& context, const std::wstring& path, int readOnly) {
    // The active drawing is most often the one asked for: its proxy is held until the open has
    // found it among the open ones, which spares the host a release and a new stub, and the
    // client a new proxy (about 2 ms a command). Released with the open's own references.
    ComPtr<IVectaDocument> active;
    RETURN_IF_FAILED(context.Connect(1, 0, 1, &active));
    return COpenDocument(context).Open(path, readOnly);
}

HRESULT COpenDocument::FindOpenDocument(IVectaDocuments* documents, const std::wstring& path, int readOnly,
                                        ComPtr<IVectaDocument>& found) {
    found.reset();
    if (readOnly != 0 && readOnly != 1) return S_OK;
    // The count is read again for every index: documents closed meanwhile end the search early.
    for (LONG index = 0;; ++index) {
        long count = 0;
        const HRESULT counted = documents->get_Count(&count);
        if (FAILED(counted)) return counted;
        if (index >= count) return S_OK;

        ComPtr<IVectaDocument> item;
        if (FAILED(documents->Item(CVectaArgument::Index(index), item.put())) || !item) continue;
        UniqueBstr fullName;
        if (FAILED(item->get_FullName(fullName.put())) || !SameFullName(fullName.str(), path)) continue;
        VARIANT_BOOL itemReadOnly = VARIANT_FALSE;
        const HRESULT flagRead = item->get_ReadOnly(&itemReadOnly);
        if (FAILED(flagRead)) return flagRead;
        if ((itemReadOnly != VARIANT_FALSE) == (readOnly == 1)) {
            found = std::move(item);
            return S_OK;
        }
    }
}

HRESULT COpenDocument::Open(const std::wstring& path, int readOnly) const {
    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocuments> documents;
    HRESULT hr = m_context.application ? m_context.application->get_Documents(documents.put()) : E_POINTER;
    if (FAILED(hr) || !documents) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        utils.WriteLog(CUtils::LevelError, L"OpenDocument: IVectaApplication->get_Documents() failed (hr = %X)", hr);
        return hr;
    }

    ComPtr<IVectaDocument> document;
    (void)FindOpenDocument(documents.get(), path, readOnly, document);
    if (document) {
        utils.WriteLog(CUtils::LevelInfo, L"OpenDocument: Activate the already opened document.");
        (void)document->Activate();
    } else {
        utils.WriteLog(CUtils::LevelInfo, L"OpenDocument: Open document (Read-only: %d)", readOnly);
        UniqueBstr name(path);
        hr = documents->Open(name.get(), CVectaArgument::Index(readOnly), CVectaArgument::Index(0), document.put());
        if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"OpenDocument: IVectaDocuments->Open() failed (hr = %X)", hr);
        if (!document) {
            // A host that answers success without a document has not opened anything.
            if (SUCCEEDED(hr)) {
                hr = E_FAIL;
                utils.WriteLog(CUtils::LevelError, L"OpenDocument: IVectaDocuments->Open() returned no document (hr = %X)", hr);
            }
            return hr;
        }
    }

    (void)CDocumentSetup::InitDocument(m_context, document.get());
    hr = CKeyMaintenance(m_context).UpdateDLQelkeys(document.get());

    const std::wstring fileType = m_context.document.GetFileType();
    if (fileType == L"DL" || fileType == L"DLA") {
        // The key is typed into the host's command line, where a blank would start another
        // command; a refused one skips only the title, the drawing is open all the same.
        const std::optional<CQelKey> key = COutsideValue::Key(L"OpenDocument", m_context.document.GetQelkey());
        if (key) hr = m_context.sendCommand(CCommandLine(L"QELDSHOWTITLE ") + *key + L" ", 1);
    }
    return hr;
}
