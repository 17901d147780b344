#include "COpenDocument.h"
#include "CTimedOpen.h"
#include "component/CCAI_Call.h"
#include "support/ResultMacros.h"

HRESULT CCAI_Call::OpenDocument(const std::wstring& path, int readOnly) {
    // The active drawing is most often the one asked for: its proxy is held until the open has
    // found it among the open ones, which spares the host a release and a new stub, and the
    // client a new proxy (about 2 ms a command). Released with the open's own references.
    ComPtr<IVectaDocument> active;
    RETURN_IF_FAILED(ConnectApplication(1, 0, 1, &active));
    return COpenDocument(DocumentContext()).Open(path, readOnly);
}

HRESULT CCAI_Call::OpenDocumentWithTimeout(const std::wstring& path, IVectaDocument** document) {
    return CTimedOpen(DocumentContext(), m_openTimeLimit).Open(path, document);
}
