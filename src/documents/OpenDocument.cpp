#include "COpenDocument.h"
#include "CTimedOpen.h"
#include "component/CCAI_Call.h"
#include "support/ResultMacros.h"

HRESULT CCAI_Call::OpenDocument(const std::wstring& path, int readOnly) {
    RETURN_IF_FAILED(ConnectApplication(1, 0, 1));
    return COpenDocument(DocumentContext()).Open(path, readOnly);
}

HRESULT CCAI_Call::OpenDocumentWithTimeout(const std::wstring& path, IVectaDocument** document) {
    return CTimedOpen(DocumentContext(), m_openTimeLimit).Open(path, document);
}
