#include "CNewDocument.h"
#include "CDocumentSetup.h"
#include "CTemplateDialog.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "host/CHostSession.h"
#include "host/CVectaArgument.h"
#include "support/COutsideValue.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include "support/NoImpersonation.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include "support/UniqueVariant.h"
#include <utility>

namespace {

bool CanRead(const CCheckedPath& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr));
    return file.valid();
}

HRESULT AddDocument(IVectaDocuments* documents, const std::wstring& templatePath, ComPtr<IVectaDocument>& added) {
    UniqueVariant name(templatePath);
    return documents->Add(name.get(), added.put());
}

}  // namespace

// The template is settled first: a cancelled choice never starts or sets up a host.
HRESULT CNewDocument::NewDocument(CDocumentContext& context, const std::wstring& documentPath) {
    std::wstring templatePath;
    RETURN_IF_FAILED(ChooseTemplate(context.session, context.document, documentPath,
                                    [&context] { return context.host.GetHostTemplatePath(); }, templatePath));
    RETURN_IF_FAILED(context.Connect(1, 0, 1));
    return Create(context, documentPath, templatePath);
}

HRESULT CNewDocument::ChooseTemplate(CVantorApplication& session, const CVantorDocument& document,
                                     const std::wstring& fileName, const HostTemplateFolder& hostTemplateFolder,
                                     std::wstring& templatePath) {
    CUtils& utils = CUtils::Instance();
    if (fileName.empty()) {
        utils.WriteLog(CUtils::LevelError, L"NewDocument: No filename specified");
        return E_FAIL;
    }
    std::wstring folder = session.GetTemplatePath();
    templatePath = document.GetQNewTemplate();
    if (templatePath.empty()) {
        if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
        const std::wstring name = document.GetTemplate0();
        if (!name.empty()) templatePath = folder + name;
    }

    // The host gets the whole text, so the check must see all of it too.
    const std::optional<CCheckedPath> checked =
        templatePath.empty() ? std::nullopt : COutsideValue::Path(L"NewDocument", templatePath);
    if (checked && CanRead(*checked)) {
        utils.WriteLog(CUtils::LevelInfo, L"NewDocument: Use template %s", templatePath);
        return S_OK;
    }
    const std::wstring unreadable = std::exchange(templatePath, std::wstring());
    utils.WriteLog(CUtils::LevelInfo, L"NewDocument: The specified template %s does not exist", unreadable);
    // Unattended, nobody could answer the dialog and the job would wait for ever.
    if (utils.IsQuiet()) {
        utils.WriteLog(CUtils::LevelError, L"NewDocument: Template '%s' cannot be read and quiet mode shows no dialog",
                       unreadable);
        return E_FAIL;
    }

    if (folder.empty() || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) folder = hostTemplateFolder();
    // The dialog itself insists on an existing file.
    return CTemplateDialog::Choose(folder, session.GetUserMessage(L"VX16009", false), templatePath) ? S_OK : E_FAIL;
}

HRESULT CNewDocument::Create(const CDocumentContext& context, const std::wstring& fileName,
                             const std::wstring& templatePath) {
    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocuments> documents;
    HRESULT hr = context.application ? context.application->get_Documents(documents.put()) : E_POINTER;
    if (SUCCEEDED(hr) && !documents) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"NewDocument: IVectaApplication->get_Documents() failed (hr = %X)", hr);
        return hr;
    }

    // The part-file command needs an active drawing to be typed into.
    ComPtr<IVectaDocument> temporary;
    if (context.document.GetFileType() == L"PX") {
        long count = 0;
        const HRESULT counted = documents->get_Count(&count);
        if (FAILED(counted)) return counted;
        if (count == 0) (void)AddDocument(documents.get(), templatePath, temporary);
        utils.WriteLog(CUtils::LevelInfo, L"NewDocument: Tell QDT that a partfile should be created");
        (void)context.sendCommand(L"_mxpartonly ", 0);
    }

    utils.WriteLog(CUtils::LevelInfo, L"NewDocument: Add document using template '%s'", templatePath);
    ComPtr<IVectaDocument> added;
    hr = AddDocument(documents.get(), templatePath, added);
    if (temporary) (void)temporary->Close(CVectaArgument::Index(0), CVectaArgument::Missing());
    // A host that answers success without a document has not created anything.
    if (SUCCEEDED(hr) && !added) hr = E_FAIL;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"NewDocument: Failed to add document (hr = %X)", hr);
        return hr;
    }

    (void)CDocumentSetup::InitDocument(context, added.get());
    UniqueBstr name(fileName);
    hr = added->SaveAs(name.get(), CVectaArgument::Missing(), CVectaArgument::Missing());
    if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"NewDocument: Failed to save document (hr = %X)", hr);
    return hr;
}
