#include "CDocumentSetup.h"
#include "client/CVantorApplication.h"
#include "component/CCAI_Call.h"

CDocumentContext CCAI_Call::DocumentContext() {
    return {m_application.get(), CVantorApplication::Instance(), m_document,
            [this](const std::wstring& commandLine, int check) { return SendCommand(commandLine, check); }};
}

HRESULT CCAI_Call::InitDocument(IVectaDocument* document) {
    return CDocumentSetup::InitDocument(DocumentContext(), document);
}
