#include "CTitleBlocks.h"
#include "COpenDocument.h"
#include "CTitleBlockDrawing.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "support/CIniFile.h"
#include "support/ClientText.h"
#include "support/COutsideValue.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include <string>

namespace {

constexpr wchar_t kOutcomeVariable[] = L"ZEPErrorCode";
// Outcomes of the import that the component itself decides; any other is the add-in's.
constexpr LONG kOutcomeNotImported = -1;
constexpr LONG kOutcomeNoImportIni = 1;
constexpr LONG kOutcomeNoWriteRight = 4;

constexpr wchar_t kBomAddIn[] = L"qeldmxbom17.zep";

void ReportOutcome(LONG& outcome, LONG code) {
    outcome = code;
    CVantorApplication::Instance().SetClientEnvironment(kOutcomeVariable, std::to_wstring(code));
}

// The add-in's import has nothing to do without at least one section that yields entries.
bool ImportIniUsable(const std::wstring& path) {
    if (path.empty()) return false;
    const std::optional<CCheckedPath> checked = COutsideValue::Path(L"QELDImportTitleAttributes", path);
    CIniFile ini;
    return checked && ini.Load(*checked) && ini.HasEntries();
}

}  // namespace

HRESULT CTitleBlocks::UpdateAllTitleblocks(CDocumentContext& context, const std::wstring& path) {
    RETURN_IF_FAILED(COpenDocument::OpenDocument(context, path, 0));

    CUtils& utils = CUtils::Instance();
    CTitleBlockDrawing drawing(L"UpdateAllTitleblocks");
    HRESULT hr = drawing.Attach(context.application.get());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"UpdateAllTitleblocks: Can't update titles. There is no active document");
        return hr;
    }
    RETURN_IF_FAILED(drawing.Send(L"QELDUpdateAllTitleBlocks"));
    // The name is matched as the client writes it: only the lower-case file is the BOM add-in.
    if (context.session.GetAddIns().find(kBomAddIn) != std::wstring::npos)
        RETURN_IF_FAILED(drawing.Send(L"QELDSyncPartData"));

    utils.WriteLog(CUtils::LevelInfo, L"UpdateAllTitleblocks: Save document");
    hr = drawing.Save();
    drawing.Close();
    return hr;
}

HRESULT CTitleBlocks::QELDImportTitleAttributes(CDocumentContext& context, const std::wstring& path, LONG& outcome) {
    CVantorApplication& session = context.session;
    session.SetClientEnvironment(kOutcomeVariable, L"");
    outcome = kOutcomeNotImported;
    if (!COutsideValue::AcceptPath(L"QELDImportTitleAttributes", path)) return S_OK;

    if (!ImportIniUsable(session.FindTitleImportIni())) {
        ReportOutcome(outcome, kOutcomeNoImportIni);
        return S_OK;
    }
    if (!CUtils::Instance().CheckWritePermission(path, context.document.GetQelkey(),
                                                 L"CCAI_Call::QELDImportTitleAttributes()")) {
        ReportOutcome(outcome, kOutcomeNoWriteRight);
        return S_OK;
    }

    RETURN_IF_FAILED(COpenDocument::OpenDocument(context, path, 0));
    CTitleBlockDrawing drawing(L"QELDImportTitleAttributes");
    HRESULT hr = drawing.Attach(context.application.get());
    if (FAILED(hr)) {
        CUtils::Instance().WriteLog(CUtils::LevelError,
                                    L"QELDImportTitleAttributes: Can't import titles. There is no active document");
        return hr;
    }
    RETURN_IF_FAILED(drawing.Send(L"QELDImportTitleAttribs"));
    // The add-in has set its outcome through the client while the command ran.
    outcome = ClientText::ToInteger(session.GetClientVariable(kOutcomeVariable));

    // An import the add-in reported as done but that is not saved is lost: the client gets
    // the save's HRESULT, which no add-in outcome can be mistaken for.
    hr = drawing.Save();
    if (FAILED(hr) && outcome == 0) ReportOutcome(outcome, hr);
    drawing.Close();
    return S_OK;
}
