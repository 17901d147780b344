#include "CWorkspaceCheck.h"
#include "CDiagnosisReport.h"
#include "CExpressionEvaluator.h"
#include "TextCodec.h"
#include "support/COutsideValue.h"
#include "host/CRegistryKey.h"
#include "support/ClientText.h"
#include "support/ComPtr.h"
#include "support/UniqueHandle.h"
#include <windows.h>
#include <objbase.h>
#include <memory>
#include <vector>

namespace {

// The component hands Vecta absolute paths only: a relative one would resolve in the workspace.
constexpr wchar_t kAbsoluteFolderFix[] =
    L"set the client's CAICLIENTPATH (and Appl:SearchPath) to absolute folders (C:\\... or \\\\server\\share\\...)";

constexpr wchar_t kSettingsFix[] = L"correct the setting in the client's configuration of the Vecta integration";
constexpr wchar_t kLogName[] = L"vx17log.err";
// The component cuts a longer wait to this.
constexpr long kLongestWait = 3600000;
// The checks in the order Run() prints them; the add-ins take one line per entry of the list.
constexpr wchar_t kProfile[] = L"profile (#(Appl:Profile))";
constexpr wchar_t kHostProgram[] = L"host program (#(Appl:ExeFileName))";
constexpr wchar_t kStartArguments[] = L"start arguments (#(Appl:OpenArgument))";
constexpr wchar_t kWaits[] = L"waits (#(Appl:WaitForStartup), #(Appl:WaitForActiveCommand))";
constexpr wchar_t kLogFolder[] = L"log folder writable";
constexpr wchar_t kWorkspaceFolder[] = L"workspace folder writable ($(WSPATH:/+))";
constexpr wchar_t kReleaseKey[] = L"Vecta release key (#(Appl:VectaVersion))";
constexpr wchar_t kRegistrar[] = L"registrar add-in";
constexpr wchar_t kAddIns[] = L"add-ins (#(Appl:AddIns))";
constexpr wchar_t kPublishOptions[] = L"publishing options file";
constexpr wchar_t kRunningInstances[] = L"Vecta instances running";
constexpr const wchar_t* kChecks[] = {kProfile,     kHostProgram, kStartArguments, kWaits,          kLogFolder,
                                      kWorkspaceFolder, kReleaseKey, kRegistrar,  kAddIns, kPublishOptions,
                                      kRunningInstances};

// Running Vecta instances register "!<class>:<profile>" in the running object table.
constexpr const wchar_t* kInstanceClasses[] = {L"QELDVecta17Instance", L"QELDVecta16Instance"};

// The word stands in the text on its own: between blanks, quotes, "=" or the text's ends,
// in any case ("/profile Standard", "/p \"My Profile\"").
bool NamesWord(const std::wstring& text, const std::wstring& word) {
    const auto boundary = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'"' || c == L'\'' || c == L'='; };
    for (size_t at = 0; !word.empty() && at + word.size() <= text.size(); ++at) {
        if (!TextCodec::EqualsNoCase(text.substr(at, word.size()), word)) continue;
        const size_t end = at + word.size();
        if ((at == 0 || boundary(text[at - 1])) && (end == text.size() || boundary(text[end]))) return true;
    }
    return false;
}

// A file created for real: asking for a temporary name is not enough, Wine answers it for a
// folder that takes no file.
bool TakesFile(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\caiclient-" + std::to_wstring(GetCurrentProcessId()) + L".probe";
    return UniqueHandle(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr))
        .valid();
}

// What is wrong with an existing log file; empty when the component can append to it.
// The component follows a link at the name, so its log would go into another file.
std::wstring LogFileFault(const std::wstring& log, std::wstring& fix) {
    BY_HANDLE_FILE_INFORMATION information{};
    const UniqueHandle name(CreateFileW(log.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    fix = L"remove it: the component would write its log into another file";
    if (name.valid() && GetFileInformationByHandle(name.get(), &information)) {
        if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
            return log + L" is a link, junction or folder, not a file";
        if (information.nNumberOfLinks != 1)
            return log + L" has " + std::to_wstring(information.nNumberOfLinks) + L" names (hard links)";
    }
    fix = L"give the client's user write access to " + log + L" (and clear its read-only attribute), or remove it";
    const UniqueHandle file(CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Wine lets root write a read-only file; Windows refuses everyone.
    const bool readOnly = name.valid() && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    return file.valid() && !readOnly ? std::wstring() : log + L" exists but cannot be written";
}

// The folders of PATH that are absolute: a bare program name is never looked up in the
// current folder, which anyone may have filled.
std::wstring FindOnPath(const std::wstring& program) {
    const std::wstring name = program.find(L'.') == std::wstring::npos ? program + L".exe" : program;
    std::vector<wchar_t> path(GetEnvironmentVariableW(L"PATH", nullptr, 0) + 1);
    const DWORD length = GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size()));
    const std::wstring folders(path.data(), length < path.size() ? length : 0);
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(L';', start);
        if (end == std::wstring::npos) end = folders.size();
        std::wstring folder = TextCodec::Trim(folders.substr(start, end - start));
        start = end + 1;
        const bool absolute = folder.size() > 2 && ((folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
                                                     folder.compare(0, 2, L"\\\\") == 0);
        if (!absolute) continue;
        if (folder.back() != L'\\') folder += L'\\';
        if (TextCodec::FileExists(folder + name)) return folder + name;
    }
    return {};
}

// A %NAME% that caiclient's environment does not fill in stays in the text; empty when none.
std::wstring UnsetVariable(const std::wstring& text) {
    const size_t open = text.find(L'%');
    const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos || close == open + 1) return {};
    const std::wstring name = text.substr(open + 1, close - open - 1);
    return GetEnvironmentVariableW(name.c_str(), nullptr, 0) == 0 ? name : std::wstring();
}

bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The profile a running instance serves, from its name in the running object table.
bool InstanceOf(const std::wstring& displayName, std::wstring& className, std::wstring& profile) {
    for (const wchar_t* candidate : kInstanceClasses) {
        const std::wstring prefix = L"!" + std::wstring(candidate) + L":";
        if (TextCodec::StartsWith(displayName, prefix)) {
            className = candidate;
            profile = displayName.substr(prefix.size());
            return true;
        }
    }
    return false;
}

}  // namespace

void CWorkspaceCheck::Skip(CDiagnosisReport& report, const std::wstring& why) {
    for (const wchar_t* check : kChecks) report.Skip(check, why);
}

void CWorkspaceCheck::Run() {
    const std::wstring profile = Setting(L"#(Appl:Profile)");
    m_report.Check(kProfile, !profile.empty(), profile.empty() ? L"empty" : profile,
                   std::wstring(kSettingsFix) + L": Appl:Profile names the Vecta profile to work under");
    HostProgram();
    StartArguments(profile);
    Waits();
    LogFolder();
    WorkspaceFolder();
    Registrar();
    AddIns();
    PublishOptions();
    RunningInstances();
}

std::wstring CWorkspaceCheck::Setting(const std::wstring& expression) const {
    std::wstring value, reason;
    return m_evaluator.TryEvaluate(expression, std::nullopt, value, reason) ? value : std::wstring();
}

void CWorkspaceCheck::HostProgram() {
    const std::wstring program = Setting(L"#(Appl:ExeFileName)");
    std::wstring found = program;
    if (!program.empty() && program.find_first_of(L"\\/:") == std::wstring::npos) found = FindOnPath(program);
    const bool ok = !found.empty() && TextCodec::FileExists(found);
    const std::wstring unset = ok ? std::wstring() : UnsetVariable(program);
    m_report.Check(kHostProgram, ok,
                   program.empty() ? L"empty"
                   : ok            ? found
                                   : program + L" does not exist" +
                                         (unset.empty() ? L"" : L": caiclient's environment has no " + unset),
                   unset.empty() ? std::wstring(kSettingsFix) + L": Appl:ExeFileName names Vecta's program file"
                                 : L"set " + unset + L" in caiclient's environment, or correct Appl:ExeFileName");
}

void CWorkspaceCheck::StartArguments(const std::wstring& profile) {
    const std::wstring what = kStartArguments;
    if (profile.empty()) {
        m_report.Skip(what, L"no profile");
        return;
    }
    const std::wstring arguments = Setting(L"#(Appl:OpenArgument)");
    const bool ok = NamesWord(arguments, profile);
    m_report.Check(what, ok,
                   (arguments.empty() ? L"empty" : L"'" + arguments + L"'") + (ok ? L" name" : L" do not name") +
                       L" the profile '" + profile + L"'",
                   std::wstring(kSettingsFix) +
                       L": Appl:OpenArgument must start Vecta under the profile of Appl:Profile, or the component "
                       L"waits for a Vecta that never comes");
}

void CWorkspaceCheck::Waits() {
    std::wstring detail, fix;
    bool ok = true, activeCommandTooLong = false;
    for (const wchar_t* name : {L"WaitForStartup", L"WaitForActiveCommand"}) {
        const std::wstring answer = Setting(L"#(Appl:" + std::wstring(name) + L")");
        const bool tooLong = ClientText::ToInteger(answer) > kLongestWait;
        detail += (detail.empty() ? L"" : L", ") + std::wstring(name) + L" " + (answer.empty() ? L"(default)" : answer);
        if (!tooLong) continue;
        ok = false;
        activeCommandTooLong = std::wstring(name) == L"WaitForActiveCommand";
        fix += (fix.empty() ? L"" : L"; ") + std::wstring(L"set Appl:") + name + L" to at most " +
               std::to_wstring(kLongestWait) + L" milliseconds";
    }
    // Only the active-command wait is doubled, right after the component started a 17.2 Vecta.
    if (!ok)
        fix += std::wstring(L": the component cuts a longer wait to one hour") +
               (activeCommandTooLong ? L", and the first busy check after it starts a release 17.2 Vecta sleeps twice "
                                       L"the active-command wait"
                                     : L"");
    m_report.Check(kWaits, ok,
                   detail + (ok ? L"" : L": above the longest wait, " + std::to_wstring(kLongestWait)), fix);
}

void CWorkspaceCheck::LogFolder() {
    const std::wstring log = m_logFolder + L"\\" + kLogName;
    std::wstring fault, fix = L"start the client in a folder its user may write to, or give the user write access there";
    if (!TakesFile(m_logFolder))
        fault = m_logFolder + L" takes no " + kLogName;
    else if (GetFileAttributesW(log.c_str()) != INVALID_FILE_ATTRIBUTES)
        fault = LogFileFault(log, fix);
    m_report.Check(kLogFolder, fault.empty(), fault.empty() ? log : fault, fix);
}

void CWorkspaceCheck::WorkspaceFolder() {
    std::wstring folder = Setting(L"$(WSPATH:/+)");
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool ok = exists && TakesFile(folder);
    m_report.Check(kWorkspaceFolder, ok,
                   folder.empty() ? L"empty"
                   : !exists      ? folder + L" does not exist"
                   : ok           ? folder
                                  : folder + L" takes no file",
                   folder.empty() ? L"set WSPATH in the client's environment to the workspace folder"
                   : !exists      ? L"create it or correct WSPATH"
                                  : L"give the client's user write access to the workspace folder: the component "
                                    L"copies Publish Options.xml there, the client writes qel.lsp there from qel.vor, "
                                    L"and publishing writes its lock files there");
}

void CWorkspaceCheck::Registrar() {
    // The component reads the release key the version setting names ("R16.0" when empty).
    const std::wstring version = Setting(L"#(Appl:VectaVersion)");
    const std::wstring release = m_vectaKey + L"\\" + (version.empty() ? L"R16.0" : version);
    CRegistryKey key, root;
    const std::wstring product = key.Open(HKEY_CURRENT_USER, release, KEY_READ) == ERROR_SUCCESS
                                     ? key.ReadString(L"CurVer", 32).value_or(L"")
                                     : L"";
    const std::wstring current = root.Open(HKEY_CURRENT_USER, m_vectaKey, KEY_READ) == ERROR_SUCCESS
                                     ? root.ReadString(L"CurVer", 32).value_or(L"")
                                     : L"";
    m_report.Check(kReleaseKey, !product.empty(),
                   L"HKCU\\" + release + L"\\CurVer" + (product.empty() ? L" is missing" : L" = " + product),
                   L"Vecta's set-up writes it for its release" +
                       (current.empty() ? std::wstring(L", and none is registered for this user: install Vecta")
                                        : L" (HKCU\\" + m_vectaKey + L"\\CurVer = " + current +
                                              L"): set Appl:VectaVersion to that release") +
                       L"; until then the registrar add-in is not registered and the PDM menu may be missing");
    const bool r17 = version.compare(0, 3, L"R17") == 0;
    const std::wstring path =
        r17 ? ZepFolder() + L"QELDAppReg17.zep" : Setting(L"#(FindFile \"QELDAppReg.zep\" \"#(Appl:SearchPath)\")");
    const wchar_t* refusal = path.empty() ? nullptr : COutsideValue::AbsolutePathRefusal(path);
    const bool ok = !path.empty() && !refusal && TextCodec::FileExists(path);
    m_report.Check(kRegistrar, ok,
                   ok        ? path
                   : refusal ? path + L" is refused: " + refusal
                   : r17     ? path + L" does not exist"
                             : L"QELDAppReg.zep is not on the search path",
                   refusal ? kAbsoluteFolderFix
                   : r17   ? L"install the PDM add-ins into the client's add-in folder: the component registers this file "
                         L"for Vecta to load without testing it"
                       : L"install QELDAppReg.zep into a folder of Appl:SearchPath");
}

std::wstring CWorkspaceCheck::ZepFolder() const {
    // Release 17.1 and 17.2 hosts are 64-bit: their add-ins come from ZEP\x64\.
    const std::wstring version = Setting(L"#(Appl:VectaVersion)");
    const bool x64 = IsWow64() && (TextCodec::EqualsNoCase(version, L"R17.1") || TextCodec::EqualsNoCase(version, L"R17.2"));
    return Setting(x64 ? L"$(CAICLIENTPATH:|+)ZEP\\x64\\" : L"$(CAICLIENTPATH:|+)ZEP\\");
}

void CWorkspaceCheck::AddIns() {
    const std::wstring list = Setting(L"#(Appl:AddIns)");
    if (list.empty()) {
        m_report.Check(kAddIns, true, L"none listed", L"");
        return;
    }
    const std::wstring folder = ZepFolder();
    for (size_t start = 0; start < list.size();) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) comma = list.size();
        const std::wstring name = TextCodec::Trim(list.substr(start, comma - start));
        start = comma + 1;
        std::wstring path = folder + name;
        // The component takes its own add-ins (qeld…) from the add-in folder only, others also
        // from the search path.
        if (!name.empty() && !TextCodec::FileExists(path) && !TextCodec::StartsWith(name, L"qeld") &&
            !TextCodec::StartsWith(name, L"QELD"))
            path = Setting(L"#(FindFile \"" + name + L"\" \"#(Appl:SearchPath)\")");
        // Judged as the component judges it: a refused path is never loaded.
        const wchar_t* refusal = path.empty() ? nullptr : COutsideValue::AbsolutePathRefusal(path);
        const bool ok = !name.empty() && !refusal && TextCodec::FileExists(path);
        m_report.Check(L"add-in " + (name.empty() ? L"(empty entry)" : name), ok,
                       ok ? path
                       : name.empty() ? L"#(Appl:AddIns) holds an empty entry"
                       : refusal      ? path + L" is refused: " + refusal
                                      : name + L" is not in " + folder,
                       refusal ? std::wstring(kAbsoluteFolderFix)
                               : L"put the add-in into the PDM client's add-in folder " + folder +
                                     L", or correct Appl:AddIns (comma-separated file names)");
    }
}

void CWorkspaceCheck::PublishOptions() {
    const std::wstring path = Setting(L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml");
    const bool ok = !path.empty() && TextCodec::FileExists(path);
    m_report.Check(kPublishOptions, ok, ok ? path : (path.empty() ? L"$(CAIPATH) is not set" : path + L" does not exist"),
                   L"install the PDM client's Publish Options.xml there (CAIPATH names its folder)");
}

void CWorkspaceCheck::RunningInstances() {
    const std::wstring configured = Setting(L"#(Appl:Profile)");
    const std::wstring configuredClass =
        TextCodec::StartsWith(Setting(L"#(Appl:VectaVersion)"), L"R17") ? kInstanceClasses[0] : kInstanceClasses[1];
    std::wstring running, others;
    bool configuredRuns = false;
    ComPtr<IRunningObjectTable> table;
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IBindCtx> context;
    const bool listed = SUCCEEDED(GetRunningObjectTable(0, table.put())) && SUCCEEDED(table->EnumRunning(monikers.put())) &&
                        SUCCEEDED(CreateBindCtx(0, context.put()));
    for (ComPtr<IMoniker> moniker; listed && monikers->Next(1, moniker.put(), nullptr) == S_OK;) {
        LPOLESTR name = nullptr;
        const HRESULT named = moniker->GetDisplayName(context.get(), nullptr, &name);
        const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(name, &CoTaskMemFree);
        if (FAILED(named) || !name) continue;
        std::wstring className, profile;
        if (InstanceOf(name, className, profile)) {
            const std::wstring shown = L"'" + profile + L"' (" + className + L")";
            running += (running.empty() ? L"" : L", ") + shown;
            if (className == configuredClass && profile == configured)
                configuredRuns = true;
            else
                others += (others.empty() ? L"" : L", ") + shown;
        }
    }
    // A Vecta under another profile is never used: the component starts one more and waits
    // for the configured profile. Without a profile the profile check has failed already.
    const bool ok = listed && (configured.empty() || configuredRuns || others.empty());
    const std::wstring state = L"; the configured profile '" + configured + L"' (" + configuredClass + L") " +
                               (configuredRuns ? L"is running" : L"is not running: the component starts Vecta for it");
    m_report.Check(kRunningInstances, ok, (running.empty() ? L"none" : running) + state,
                   !listed ? L"the running object table cannot be read: restart the session"
                           : L"quit the Vecta running under " + others +
                                 L", or set Appl:Profile (and Appl:VectaVersion) to what it runs under");
}
