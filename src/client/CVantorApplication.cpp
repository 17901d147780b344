#include "CVantorApplication.h"
#include "ClientAnswer.h"
#include "support/COutsideValue.h"
#include "support/ClientText.h"
#include "support/CUtils.h"

namespace {

constexpr size_t kMessageCapacity = 1024;
constexpr long kDefaultStartupWait = 60000;
constexpr long kDefaultActiveCommandWait = 2000;
// One hour, far from overflow: the busy check sleeps twice the active-command wait and adds
// it to a sum kept below the start-up wait, all in 32 bits.
constexpr long kLongestWait = 3600000;
constexpr wchar_t kLastProfileVariable[] = L"VX16_LASTPROFILE";
constexpr wchar_t kKeyPairListVariable[] = L"QelKeyPairList";
// The handler's answer for a client command it could not make.
constexpr long kRefusedCall = -1;

// A wait time from the client; nothing usable (empty, zero, negative) gives the default,
// a longer one than kLongestWait is cut to it.
long WaitFrom(const wchar_t* operation, const std::wstring& answer, long fallback) {
    const long value = ClientText::ToInteger(answer);
    if (value <= 0) return fallback;
    if (value <= kLongestWait) return value;
    CUtils::Instance().WriteLog(CUtils::LevelError, L"%s: A wait of %s milliseconds is too long; the longest, %d, is used",
                                operation, answer, kLongestWait);
    return kLongestWait;
}

// The host releases whose add-in modules are 64-bit builds.
bool IsSixtyFourBitHost(const std::wstring& version) {
    return CompareStringOrdinal(version.c_str(), -1, L"R17.1", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(version.c_str(), -1, L"R17.2", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

CVantorApplication::CVantorApplication() { CUtils::Instance().SetClientAccess(this); }

CVantorApplication::~CVantorApplication() {
    // At module shut-down the utility object is already gone.
    if (CUtils* utils = CUtils::Existing()) utils->SetClientAccess(nullptr);
}

std::wstring CVantorApplication::Evaluate(const std::wstring& expression) { return Evaluate(expression.c_str()); }

std::wstring CVantorApplication::Evaluate(const wchar_t* expression) {
    return ClientAnswer::Filtered(m_handler.Prepare(expression));
}

UniqueBstr CVantorApplication::EvaluateText(const wchar_t* expression) {
    UniqueBstr answer;
    if (FAILED(m_handler.PrepareAnswer(UniqueBstr(expression), answer)) || !ClientAnswer::IsValue(answer.view()))
        answer.reset();
    return answer;
}

long CVantorApplication::EvaluateInteger(const wchar_t* expression) {
    return ClientText::ToInteger(EvaluateText(expression).view());
}

std::wstring CVantorApplication::EvaluateRaw(const std::wstring& expression) {
    return ClientAnswer::Raw(m_handler.Prepare(expression.c_str()));
}

long CVantorApplication::CallClient(const wchar_t* command, const CCommandLine& arguments) {
    return m_handler.Call(command, arguments.str().c_str(), nullptr);
}

long CVantorApplication::SetClientEnvironment(std::wstring_view name, std::wstring_view value) {
    return m_handler.Call(L"___Environment", UniqueBstr::Concat({name, L"=", value}), nullptr);
}

std::wstring CVantorApplication::GetClientVariable(std::wstring_view name) {
    return ClientAnswer::Filtered(m_handler.Prepare(UniqueBstr::Concat({L"$(", name, L")"})));
}

std::wstring CVantorApplication::GetUserMessage(const std::wstring& key, bool expand) {
    wchar_t buffer[kMessageCapacity];
    m_handler.GetMessageText(key.c_str(), buffer, kMessageCapacity);
    std::wstring text = buffer;
    if (expand) {
        const auto expanded = m_handler.Prepare(text.c_str());
        if (expanded && !expanded->empty()) text = expanded->substr(0, kMessageCapacity - 1);
    }
    return text;
}

std::wstring CVantorApplication::GetProfile() { return Evaluate(L"#(Appl:Profile)"); }

std::wstring CVantorApplication::GetApplicationName() { return Evaluate(L"#(Appl:ApplicationName)"); }

std::wstring CVantorApplication::GetExeFileName() { return Evaluate(L"#(Appl:ExeFileName)"); }

std::wstring CVantorApplication::GetOpenArgument() { return Evaluate(L"#(Appl:OpenArgument)"); }

std::wstring CVantorApplication::GetHostVersion() { return Evaluate(L"#(Appl:VectaVersion)"); }

std::wstring CVantorApplication::GetAddIns() { return Evaluate(L"#(Appl:AddIns)"); }

std::wstring CVantorApplication::GetTemplatePath() { return Evaluate(L"#(Appl:TemplatePath)"); }

std::wstring CVantorApplication::GetApplTemplatePath() { return Evaluate(L"@(Appl:ApplTemplatePath:/)"); }

std::wstring CVantorApplication::GetWorkspacePath() { return Evaluate(L"$(WSPATH:/+)"); }

long CVantorApplication::GetStartupWait() {
    return WaitFrom(L"GetStartupWait", Evaluate(L"#(Appl:WaitForStartup)"), kDefaultStartupWait);
}

long CVantorApplication::GetActiveCommandWait() {
    return WaitFrom(L"GetActiveCommandWait", Evaluate(L"#(Appl:WaitForActiveCommand)"), kDefaultActiveCommandWait);
}

long CVantorApplication::GetLogLevel() { return EvaluateInteger(L"#(Appl:LogLevel)"); }

void CVantorApplication::GetJobDeadline(std::int64_t* deadline) {
    if (!deadline) return;
    *deadline = 0;
    // The client answers a 32-bit time_t; widening keeps its sign.
    const std::int32_t value = EvaluateInteger(L"$(JobServerJobTimeout_time_t)");
    *deadline = value;
}

std::wstring CVantorApplication::GetLastProfile() { return GetClientVariable(kLastProfileVariable); }

void CVantorApplication::SetLastProfile(const std::wstring& profile) {
    SetClientEnvironment(kLastProfileVariable, profile);
}

bool CVantorApplication::IsJobServer() { return ClientText::IsTrue(Evaluate(L"#(=isJobServer())")); }

std::wstring CVantorApplication::GetEnforcePsxOptions() { return EvaluateRaw(L"#(Appl:EnforcePSXOptions)"); }

std::wstring CVantorApplication::GetPublishOptionsPath() {
    return EvaluateRaw(L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml");
}

std::wstring CVantorApplication::GetZepFolder() {
    const bool sixtyFourBit = CUtils::Instance().IsWow64Flag() && IsSixtyFourBitHost(GetHostVersion());
    return Evaluate(sixtyFourBit ? L"$(CAICLIENTPATH:|+)ZEP\\x64\\" : L"$(CAICLIENTPATH:|+)ZEP\\");
}

std::wstring CVantorApplication::FindClientFile(const std::wstring& name, const std::wstring& options) {
    std::wstring expression = L"#(FindFile \"" + name + L"\" \"#(Appl:SearchPath)\"";
    if (!options.empty()) expression += L" " + options;
    return Evaluate(expression + L")");
}

std::wstring CVantorApplication::FindTitleBlockIni() { return FindClientFile(L"mxdtitle.ini"); }

std::wstring CVantorApplication::FindBomIni() { return FindClientFile(L"QELDBom.ini"); }

std::wstring CVantorApplication::FindTitleImportIni() { return FindClientFile(L"qeldtitleimport.ini"); }

std::wstring CVantorApplication::FindMenuFile() { return FindClientFile(L"vantor.mns", L":|"); }

bool CVantorApplication::PrepareQelLisp() {
    const std::wstring lispTemplate = FindClientFile(L"qel.vor", L":/");
    if (lispTemplate.empty()) return false;
    const std::optional<CCheckedPath> path = COutsideValue::Path(L"PrepareQelLisp", lispTemplate);
    const std::optional<CQuotedText> quoted = path ? COutsideValue::Quoted(L"PrepareQelLisp", path->str()) : std::nullopt;
    if (!quoted) return false;
    return CallClient(L"___Prepare", CCommandLine(L"'") + *quoted + L"' '$(WSPATH:/+)qel.lsp' -utf8") == 0;
}

long CVantorApplication::ReportObsoleteDocuments() {
    if (Evaluate(L"#(DTY:ReportObsoleteDocumentsOnOpen)") != L"1") return 0;
    return CallClient(L"m_ReportObsoleteDocuments", L"");
}

bool CVantorApplication::HasWriteRight(const std::wstring& key) {
    const std::optional<CQelKey> checked = COutsideValue::Key(L"HasWriteRight", key);
    if (key.empty() || !checked) return false;
    return ClientText::IsTrue(Evaluate(L"@(Where \"db=Folder_All_Document\" \"QELKEY=" + checked->str() +
                                       L"\" #(=crdynamic(\"W\")))"));
}

std::wstring CVantorApplication::GetOldDocumentKey(const std::wstring& key) {
    const std::optional<CQelKey> checked = COutsideValue::Key(L"GetOldDocumentKey", key);
    if (key.empty() || !checked) return {};
    return Evaluate(L"@(where \"db=Folder_All_Document\" \"QELKEY=" + checked->str() + L"\" #(OLD_DOC_QELKEY))");
}

long CVantorApplication::ClearOldDocumentKey(const std::wstring& key) {
    if (key.empty()) return 0;
    const std::optional<CQelKey> checked = COutsideValue::Key(L"ClearOldDocumentKey", key);
    if (!checked) return kRefusedCall;
    return CallClient(L"___ForRela",
                      CCommandLine(L"db=Folder_All_Document QELKEY=") + *checked + L" ___ChangeField 'OLD_DOC_QELKEY= '");
}

std::wstring CVantorApplication::GetQelKeyPairList(const std::wstring& parentKey) {
    const std::optional<CQelKey> checked = COutsideValue::Key(L"GetQelKeyPairList", parentKey);
    if (parentKey.empty() || !checked) return {};
    SetClientEnvironment(kKeyPairListVariable, L"");
    CallClient(L"___ForAllRela", CCommandLine(L"db=Folder_xref_Child_Document \"X_PARENT_QELKEY=") + *checked +
                                     L" AND OLD_DOC_QELKEY IS NOT NULL\" ___Environment "
                                     L"QelKeyPairList=#OLD_DOC_QELKEY #QELKEY|$QelKeyPairList");
    std::wstring list = GetClientVariable(kKeyPairListVariable);
    SetClientEnvironment(kKeyPairListVariable, L"");
    return list;
}
