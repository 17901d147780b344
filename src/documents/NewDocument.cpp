#include "CNewDocument.h"
#include "client/CVantorApplication.h"
#include "component/CCAI_Call.h"
#include "support/ResultMacros.h"

// The template is settled first: a cancelled choice never starts or sets up a host.
HRESULT CCAI_Call::NewDocument(const std::wstring& documentPath) {
    std::wstring templatePath;
    RETURN_IF_FAILED(CNewDocument::ChooseTemplate(CVantorApplication::Instance(), m_document, documentPath,
                                                  [this] { return GetHostTemplatePath(); }, templatePath));
    RETURN_IF_FAILED(ConnectApplication(1, 0, 1));
    return CNewDocument::Create(DocumentContext(), documentPath, templatePath);
}
