#include "CApplicationManager.h"
#include "CCancelThread.h"
#include "CHostStartGate.h"
#include "CJobDeadline.h"
#include "CRegistryKey.h"
#include "client/CVantorApplication.h"
#include "support/ApartmentWait.h"
#include "support/CCommandLine.h"
#include "support/COutsideValue.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include <utility>

namespace {

constexpr DWORD kSearchPassMs = 1000;
constexpr UINT kMissingHostStyle = MB_ICONEXCLAMATION | MB_OK;
constexpr UINT kQuestionStyle = MB_ICONQUESTION | MB_YESNO;
constexpr wchar_t kRelease17[] = L"R17";
constexpr wchar_t kRegistrarName[] = L"QELDAppReg";
constexpr wchar_t kRegistrarRegistered[] = L"CheckVectaAppRegistrar: QELDAppReg.zep is correctly registered";
constexpr wchar_t kRegistrarNotWritten[] = L"CheckVectaAppRegistrar: Can't register QELDAppReg.zep correctly";
constexpr DWORD kLoadAtStartup = 2;
constexpr size_t kProductKeyCapacity = 32;
constexpr size_t kLoaderCapacity = 512;
// Host command-line input, and two ESC with the terminator: the host's "cancel".
constexpr ULONG_PTR kCommandInput = 1;
constexpr wchar_t kCancelInput[] = L"\x1b\x1b";
constexpr UINT kCancelSendTimeoutMs = 5000;

bool IsRelease17(const std::wstring& version) { return version.compare(0, 3, kRelease17) == 0; }

// One pass of the search. With a cancel thread the pass ends early when the thread has ended
// by raising the flag; the thread's requests for the client's texts are served meanwhile, and
// the apartment keeps serving calls.
void WaitOnePass(CCancelThread* cancel) {
    const DWORD begin = GetTickCount();
    for (DWORD waited = 0; cancel && waited < kSearchPassMs; waited = GetTickCount() - begin) {
        const DWORD signalled = WaitServingCalls(cancel->Thread(), cancel->TextsWanted(), kSearchPassMs - waited);
        if (signalled == 1) cancel->ServeTexts();
        if (signalled == WAIT_TIMEOUT || cancel->IsCancelled()) return;
        if (signalled == 0) break;  // a thread that failed raises nothing
    }
    const DWORD waited = GetTickCount() - begin;
    if (waited < kSearchPassMs) SleepServingCalls(kSearchPassMs - waited);
}

bool IsIdle(IVectaState* state, bool previous) {
    VARIANT_BOOL idle = VARIANT_FALSE;
    if (FAILED(state->get_IsIdle(&idle))) return previous;
    return idle != VARIANT_FALSE;
}

}  // namespace

CApplicationManager::CApplicationManager() {
    CVantorApplication& session = CVantorApplication::Instance();
    m_startupWait = session.GetStartupWait();
    m_activeCommandWait = session.GetActiveCommandWait();
    m_applicationName = session.GetApplicationName();
}

CApplicationManager::~CApplicationManager() = default;

HRESULT CApplicationManager::LocateApplication(ComPtr<IUnknown>& object, int start, int useLastProfile) {
    CUtils& utils = CUtils::Instance();
    CVantorApplication& session = CVantorApplication::Instance();

    const std::wstring profile = useLastProfile == 1 ? session.GetLastProfile() : session.GetProfile();
    const std::wstring version = session.GetHostVersion();
    const bool release17 = IsRelease17(version);
    if (!profile.empty())
        m_displayName = std::wstring(release17 ? L"QELDVecta17Instance" : L"QELDVecta16Instance") + L":" + profile;
    if (m_displayName.empty()) {
        utils.WriteLog(CUtils::LevelError, L"Attribute 'Profile' is not defined for this Application");
        return E_INVALIDARG;
    }

    ComPtr<IBindCtx> context;
    HRESULT hr = CreateBindCtx(0, context.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"CreateBindCtx() failed (hr = %X)", hr);
        return hr;
    }

    CJobDeadline deadline = CJobDeadline::Read();
    if (deadline.IsStale()) {
        utils.WriteLog(CUtils::LevelError, L"Ignore JobServer deadline, because it is not valid: %24.24s", deadline.Text());
        deadline.Clear();
    }
    if (deadline.IsSet())
        utils.WriteLog(CUtils::LevelInfo, L"Use JobServer deadline for this job: %24.24s", deadline.Text());
    // Stopped however the search ends, an exception included.
    const CCancelThread::Owner cancel = deadline.IsSet() ? CCancelThread::Owner() : CCancelThread::Start(profile, m_startupWait);
    if (!deadline.IsSet() && !cancel) {
        utils.WriteLog(CUtils::LevelError, L"Thread for cancelling operation can't be created");
        return E_FAIL;
    }

    bool waitingForOtherStart = false;
    m_started = 0;
    hr = S_OK;
    while (!object) {
        if (cancel && cancel->IsCancelled()) break;
        const unsigned long seenStarts = CHostStartGate::Seen(m_displayName);
        ULONG eaten = 0;
        ComPtr<IMoniker> moniker;
        hr = MkParseDisplayName(context.get(), m_displayName.c_str(), &eaten, moniker.put());
        if (FAILED(hr)) {
            utils.WriteLog(CUtils::LevelError,
                           release17 ? L"QELDVecta17Instance.dll is probably not registered. MkParseDisplayName() failed (hr = %X)"
                                     : L"QELDVecta16Instance.dll is probably not registered. MkParseDisplayName() failed (hr = %X)",
                           hr);
            break;
        }
        // Not asked for the application interface here: a host refusing that query with any
        // failure would look absent, and a second one would be started.
        hr = moniker->BindToObject(context.get(), nullptr, IID_IUnknown, object.put_void());
        moniker.reset();
        if (object) {
            // Found first: it ends the start under way whoever sent it.
            m_foundStarting = CHostStartGate::Found(m_displayName) || m_started == 1;
            utils.WriteLog(CUtils::LevelInfo, L"Correct %s application with profile '%s' found.", m_applicationName, profile);
            session.SetLastProfile(profile);
            break;
        }
        if (start != 1) {
            utils.ShowMessage(session.GetUserMessage(L"VX16006", true), kMissingHostStyle);
            utils.WriteLog(CUtils::LevelInfo, L"%s with the required profile '%s' is not available", m_applicationName,
                           profile);
            hr = E_FAIL;
            break;
        }
        if (m_started == 0) {
            ULONGLONG sentAgo = 0;
            switch (CHostStartGate::TryStart(m_displayName, seenStarts, static_cast<DWORD>(m_startupWait), sentAgo)) {
            case CHostStartGate::Decision::LookAgain:
                continue;
            case CHostStartGate::Decision::Wait:
                if (!std::exchange(waitingForOtherStart, true))
                    utils.WriteLog(CUtils::LevelInfo, L"LocateApplication: %s with the profile '%s' is being started; "
                                   L"wait for it (its start was sent %d ms ago)", m_applicationName, profile,
                                   static_cast<long>(sentAgo));
                break;
            case CHostStartGate::Decision::Start: {
                (void)CheckVectaAppRegistrar();
                utils.WriteLog(CUtils::LevelInfo, L"Start of %s", m_applicationName);
                // Both go between single quotes: one in either would add arguments to the client's
                // command. The arguments' own "..." are Vecta's command line and stay.
                const std::optional<CQuotedText> program = COutsideValue::Quoted(L"LocateApplication", session.GetExeFileName());
                const std::optional<CQuotedText> argument =
                    program ? COutsideValue::Quoted(L"LocateApplication", session.GetOpenArgument(), L"'") : std::nullopt;
                if (!argument || session.CallClient(L"___Shell", CCommandLine(L"Shellexecute(open '") + *program + L"' '" +
                                                                     *argument + L"' '$(WSPATH:|-)' )") != 0)
                    CHostStartGate::NotSent(m_displayName);
                m_started = 1;
                break;
            }
            }
        }
        if (deadline.HasPassed()) {
            utils.WriteLog(CUtils::LevelError, L"Deadline (%24.24s) for this job has exceeded", deadline.Text());
            utils.WriteLog(CUtils::LevelError, L"Don't wait for application any longer.");
            hr = HR_TIMEOUT;
            break;
        }
        WaitOnePass(cancel.get());
    }

    if (m_started == 1) utils.UpdatePublishOptions();
    return hr;
}

int CApplicationManager::IsBusy(IVectaApplication* application, ComPtr<IVectaDocument>* activeDocument) {
    if (!application) return 1;
    CUtils& utils = CUtils::Instance();
    const long wait = m_activeCommandWait;

    UniqueBstr version;
    if (SUCCEEDED(application->get_Version(version.put())) && m_started == 1 &&
        CompareStringOrdinal(version.str().substr(0, 4).c_str(), -1, L"17.2", -1, TRUE) == CSTR_EQUAL)
        SleepServingCalls(static_cast<DWORD>(2 * wait));

    ComPtr<IVectaDocument> document;
    if (FAILED(application->get_ActiveDocument(document.put())) || !document) return 0;
    if (activeDocument) *activeDocument = document;

    ComPtr<IVectaState> state;
    HRESULT hr = application->get_State(state.put());
    if (SUCCEEDED(hr) && !state) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"IsBusy: Can't get Vecta state (hr = %X)", hr);
        return 1;
    }
    bool idle = IsIdle(state.get(), false);
    if (idle) return 0;

    long waited = 0;
    for (;;) {
        utils.WriteLog(CUtils::LevelInfo, L"IsBusy: Vecta is busy. Wait for %d milliseconds", wait);
        SleepServingCalls(static_cast<DWORD>(wait));
        waited += wait;
        idle = IsIdle(state.get(), idle);
        if (!idle && waited < m_startupWait / 2) continue;
        if (m_started == 1) {
            if (idle) return 0;
            if (waited < m_startupWait) continue;
        }
        break;
    }
    if (idle) return 0;

    utils.WriteLog(CUtils::LevelInfo, L"IsBusy: Vecta is still busy. Ask user to cancel active command.");
    const std::wstring question = CVantorApplication::Instance().GetUserMessage(L"VX16010", true);
    if (utils.AskMessage(question, IDYES, kQuestionStyle) != IDYES) {
        utils.WriteLog(CUtils::LevelInfo, L"IsBusy: Not cancelled active command");
        return 1;
    }
    long window = 0;
    hr = application->get_HWND(&window);
    if (FAILED(hr)) {
        // Nothing was sent, so the host is still busy.
        utils.WriteLog(CUtils::LevelError, L"IsBusy: Can't read Vecta's main window (hr = %X)", hr);
        return 1;
    }
    COPYDATASTRUCT data{kCommandInput, sizeof(kCancelInput), const_cast<wchar_t*>(kCancelInput)};
    DWORD_PTR answer = 0;
    // A hung host must not hang the client too.
    SendMessageTimeoutW(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)), WM_COPYDATA, 0,
                        reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kCancelSendTimeoutMs, &answer);
    utils.WriteLog(CUtils::LevelInfo, L"IsBusy: Cancelled active command.");
    return 0;
}

int CApplicationManager::CheckVectaAppRegistrar() {
    CUtils& utils = CUtils::Instance();
    CVantorApplication& session = CVantorApplication::Instance();

    std::wstring version = session.GetHostVersion();
    if (!COutsideValue::AcceptRelease(L"CheckVectaAppRegistrar", version)) return 0;
    const bool release17 = IsRelease17(version);
    if (version.empty()) version = L"R16.0";
    const std::wstring releaseRoot = L"Software\\Tessaro\\Vecta\\" + version;

    CRegistryKey key;
    std::wstring product;
    if (key.Open(HKEY_CURRENT_USER, releaseRoot, KEY_READ) == ERROR_SUCCESS)
        product = key.ReadString(L"CurVer", kProductKeyCapacity).value_or(L"");
    key.Close();
    if (product.empty()) {
        utils.WriteLog(CUtils::LevelError, L"CheckVectaAppRegistrar: Can't determine current %s version", m_applicationName);
        return 0;
    }

    std::wstring module =
        release17 ? session.GetZepFolder() + L"QELDAppReg17.zep" : session.FindClientFile(L"QELDAppReg.zep");
    // Vecta would resolve a relative LOADER in its working folder, the workspace; the refusal
    // says what was refused.
    if (!module.empty() && !COutsideValue::Path(L"CheckVectaAppRegistrar", module)) return 0;
    if (module.empty()) {
        utils.WriteLog(CUtils::LevelError, L"CheckVectaAppRegistrar: Can't find QELDAppReg.zep in search path");
        return 0;
    }

    const std::wstring registration = releaseRoot + L"\\" + product + L"\\Applications\\" + kRegistrarName;
    if (key.Open(HKEY_CURRENT_USER, registration, KEY_READ) == ERROR_SUCCESS) {
        const bool correct = key.ReadDword(L"LOADCTRLS") == kLoadAtStartup &&
                             key.ReadString(L"LOADER", kLoaderCapacity) == module;
        key.Close();
        if (correct) {
            utils.WriteLog(CUtils::LevelInfo, kRegistrarRegistered);
            return 1;
        }
    } else {
        if (key.Create(HKEY_CURRENT_USER, registration, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) {
            utils.WriteLog(CUtils::LevelError, L"CheckVectaAppRegistrar: Can't register QELDAppReg.zep for demand loading");
            return 0;
        }
        key.Close();
    }

    if (key.Open(HKEY_CURRENT_USER, registration, KEY_WRITE) != ERROR_SUCCESS) {
        utils.WriteLog(CUtils::LevelError, kRegistrarNotWritten);
        return 0;
    }
    const LONG controlsWritten = key.WriteDword(L"LOADCTRLS", kLoadAtStartup);
    const LONG loaderWritten = key.WriteString(L"LOADER", module);
    key.Close();
    if (controlsWritten != ERROR_SUCCESS || loaderWritten != ERROR_SUCCESS) {
        utils.WriteLog(CUtils::LevelError, kRegistrarNotWritten);
        return 0;
    }
    utils.WriteLog(CUtils::LevelInfo, kRegistrarRegistered);
    return 1;
}
