#include "CWorkspaceCheck.h"
#include "CDiagnosisReport.h"
#include "CExpressionEvaluator.h"
#include "TextCodec.h"
#include "support/ComPtr.h"
#include "support/UniqueHandle.h"
#include <windows.h>
#include <objbase.h>
#include <memory>

namespace {

constexpr wchar_t kSettingsFix[] = L"correct the setting in the client's configuration of the Vecta integration";
constexpr wchar_t kLogName[] = L"vx17log.err";
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

void CWorkspaceCheck::Run() {
    const std::wstring profile = Setting(L"#(Appl:Profile)");
    m_report.Check(L"profile (#(Appl:Profile))", !profile.empty(), profile.empty() ? L"empty" : profile,
                   std::wstring(kSettingsFix) + L": Appl:Profile names the Vecta profile to work under");
    HostProgram();
    StartArguments(profile);
    LogFolder();
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
    if (!program.empty() && program.find_first_of(L"\\/:") == std::wstring::npos) {
        wchar_t path[MAX_PATH];
        const DWORD length = SearchPathW(nullptr, program.c_str(), L".exe", MAX_PATH, path, nullptr);
        found = length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
    }
    const bool ok = !found.empty() && TextCodec::FileExists(found);
    m_report.Check(L"host program (#(Appl:ExeFileName))", ok,
                   program.empty() ? L"empty" : ok ? found : program + L" does not exist",
                   std::wstring(kSettingsFix) + L": Appl:ExeFileName names Vecta's program file");
}

void CWorkspaceCheck::StartArguments(const std::wstring& profile) {
    const std::wstring what = L"start arguments (#(Appl:OpenArgument))";
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

void CWorkspaceCheck::LogFolder() {
    const std::wstring log = m_logFolder + L"\\" + kLogName;
    // A file created for real: asking for a temporary name is not enough, Wine answers it
    // for a folder that takes no file.
    const std::wstring probe = m_logFolder + L"\\caiclient-" + std::to_wstring(GetCurrentProcessId()) + L".probe";
    bool ok = UniqueHandle(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr))
                  .valid();
    if (ok && TextCodec::FileExists(log)) {
        const UniqueHandle file(CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = file.valid();
    }
    m_report.Check(L"log folder writable", ok, ok ? log : m_logFolder + L" takes no " + kLogName,
                   L"start the client in a folder its user may write to, or give the user write access there");
}

void CWorkspaceCheck::AddIns() {
    const std::wstring list = Setting(L"#(Appl:AddIns)");
    if (list.empty()) {
        m_report.Check(L"add-ins (#(Appl:AddIns))", true, L"none listed", L"");
        return;
    }
    // Release 17.1 and 17.2 hosts are 64-bit: their add-ins come from ZEP\x64\.
    const std::wstring version = Setting(L"#(Appl:VectaVersion)");
    const bool x64 = IsWow64() && (TextCodec::EqualsNoCase(version, L"R17.1") || TextCodec::EqualsNoCase(version, L"R17.2"));
    const std::wstring folder = Setting(x64 ? L"$(CAICLIENTPATH:|+)ZEP\\x64\\" : L"$(CAICLIENTPATH:|+)ZEP\\");
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
        const bool ok = !name.empty() && TextCodec::FileExists(path);
        m_report.Check(L"add-in " + (name.empty() ? L"(empty entry)" : name), ok,
                       ok ? path : name.empty() ? L"#(Appl:AddIns) holds an empty entry" : name + L" is not in " + folder,
                       L"put the add-in into the PDM client's add-in folder " + folder +
                           L", or correct Appl:AddIns (comma-separated file names)");
    }
}

void CWorkspaceCheck::PublishOptions() {
    const std::wstring path = Setting(L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml");
    const bool ok = !path.empty() && TextCodec::FileExists(path);
    m_report.Check(L"publishing options file", ok, ok ? path : (path.empty() ? L"$(CAIPATH) is not set" : path + L" does not exist"),
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
    m_report.Check(L"Vecta instances running", ok, (running.empty() ? L"none" : running) + state,
                   !listed ? L"the running object table cannot be read: restart the session"
                           : L"quit the Vecta running under " + others +
                                 L", or set Appl:Profile (and Appl:VectaVersion) to what it runs under");
}
