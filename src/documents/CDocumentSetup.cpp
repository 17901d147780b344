#include "CDocumentSetup.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "support/CCommandLine.h"
#include "support/COutsideValue.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include "support/UniqueBstr.h"
#include <string_view>

namespace {

// The symbols in the order the add-in expects them; the log names are the add-in's own
// historic names and differ from the symbol for two rows.
struct Symbol {
    const wchar_t* name;
    const wchar_t* logName;
    std::wstring (*read)(const CDocumentContext& context);
};

const Symbol kSymbols[] = {
    {L"QELKEY", L"QELKEY", [](const CDocumentContext& c) { return c.document.GetContainerKey(); }},
    {L"EXTMEHR", L"EXTMEHR", [](const CDocumentContext& c) { return c.document.GetContainerFileType(); }},
    {L"CreateLocalDrawing", L"CreateLocalDrawing",
     [](const CDocumentContext& c) { return c.document.GetCreateLocalDrawing(); }},
    {L"PSXFilename", L"PSXFilename", [](const CDocumentContext& c) { return c.document.GetContainerAutoPsx(); }},
    {L"TitleIniFile", L"TitleIniPath", [](const CDocumentContext& c) { return c.session.FindTitleBlockIni(); }},
    {L"Title2VntIniFile", L"Title2VntIniFile",
     [](const CDocumentContext& c) { return c.session.FindClientFile(L"qeldtitle2vnt.ini"); }},
    {L"TitleImportIniFile", L"TitleImportIniFile",
     [](const CDocumentContext& c) { return c.session.FindTitleImportIni(); }},
    {L"BOMIniFile", L"BOMIniPath", [](const CDocumentContext& c) { return c.session.FindBomIni(); }},
    {L"WSPATH", L"WSPATH", [](const CDocumentContext& c) { return c.session.GetWorkspacePath(); }},
    {L"TemplatePath", L"TemplatePath", [](const CDocumentContext& c) { return c.session.GetTemplatePath(); }},
    {L"ApplTemplatePath", L"ApplTemplatePath",
     [](const CDocumentContext& c) { return c.session.GetApplTemplatePath(); }},
};
constexpr std::wstring_view kWorkspaceSymbol = L"WSPATH";

}  // namespace

const wchar_t* CDocumentSetup::AddInProgId(const std::wstring& hostVersion) {
    const bool release172 = hostVersion.size() >= 4 && CompareStringOrdinal(hostVersion.c_str(), 4, L"17.2", 4, TRUE) == CSTR_EQUAL;
    return release172 ? L"Derudir.VntApplication2x.1" : L"Derudir.VntApplication2.1";
}

HRESULT CDocumentSetup::InitDocument(const CDocumentContext& context, IVectaDocument* document) {
    if (!context.application || !document) return E_FAIL;
    CUtils& utils = CUtils::Instance();

    UniqueBstr version;
    (void)context.application->get_Version(version.put());
    UniqueBstr progId(AddInProgId(version.str()));
    ComPtr<IDispatch> object;
    const HRESULT created = context.application->GetInterfaceObject(progId.get(), object.put());
    if (FAILED(created)) {
        utils.WriteLog(CUtils::LevelError, L"InitDocument: Failed to get interface Derudir.VntApplication2 (hr = %X)", created);
        return created;
    }
    ComPtr<IVntAddIn> addIn;
    if (FAILED(object.query(addIn))) {
        utils.WriteLog(CUtils::LevelError, L"InitDocument: Interface Derudir.VntApplication2 not compatible");
        return created;
    }

    const HRESULT callbackSet = addIn->SetCAICallback(context.session.GetCallback());
    if (SUCCEEDED(callbackSet))
        utils.WriteLog(CUtils::LevelInfo, L"InitDocument: SetCAICallback() succeeded");
    else
        utils.WriteLog(CUtils::LevelError, L"InitDocument: SetCAICallback() failed (hr = %X)", callbackSet);

    utils.WriteLog(CUtils::LevelInfo, L"InitDocument: Set document symbols ...");
    HRESULT hr = S_OK;
    std::wstring workspace;
    for (const Symbol& symbol : kSymbols) {
        const std::wstring value = symbol.read(context);
        if (symbol.name == kWorkspaceSymbol) workspace = value;
        UniqueBstr name(symbol.name), text(value);
        hr = addIn->SetSymbol(name.get(), text.get());
        if (SUCCEEDED(hr))
            utils.WriteLog(CUtils::LevelInfo, L"InitDocument: Successfully set symbol %s", symbol.logName);
        else
            utils.WriteLog(CUtils::LevelError, L"InitDocument: Failed to set symbol %s (hr = %X)", symbol.logName, hr);
    }

    if (context.session.PrepareQelLisp()) {
        utils.WriteLog(CUtils::LevelInfo, L"InitDocument: Load qel.lsp ...");
        // The workspace is typed into the host between double quotes.
        const std::optional<CCheckedPath> folder = COutsideValue::Path(L"InitDocument", workspace);
        const std::optional<CQuotedText> quoted = folder ? COutsideValue::Quoted(L"InitDocument", folder->str()) : std::nullopt;
        if (quoted) (void)document->SendCommand(UniqueBstr((CCommandLine(L"(load \"") + *quoted + L"qel\") ").str()).get());
    } else {
        utils.WriteLog(CUtils::LevelInfo, L"InitDocument: Don't load qel.lsp because qel.vor does not exist");
    }
    return hr;  // the last row's result: "ApplTemplatePath"
}
