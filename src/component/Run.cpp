// The Run dispatcher of CAI_Call: the callback's lifetime, the client version check, the
// argument array and the command table.
#include "CCAI_Call.h"
#include "CSetTemporaryQuietMode.h"
#include "client/CVantorApplication.h"
#include "documents/CKeyMaintenance.h"
#include "documents/CNewDocument.h"
#include "documents/COpenDocument.h"
#include "documents/CPublishPSX.h"
#include "documents/CTitleBlocks.h"
#include "host/CJobDeadline.h"
#include "support/ClientText.h"
#include "support/COutsideValue.h"
#include "support/CRunContext.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/SafeArrayDataLock.h"
#include <algorithm>
#include <new>

namespace {

constexpr long kMinimumClientVersion = 530;
constexpr HRESULT kNotAnArray = E_INVALIDARG;

// The argument VARIANT as the client may pass it: by value, or by reference from a script.
SAFEARRAY* ArgumentArray(const VARIANT& args) {
    const VARIANT* v = &args;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    if (V_VT(v) == (VT_ARRAY | VT_VARIANT)) return V_ARRAY(v);
    if (V_VT(v) == (VT_BYREF | VT_ARRAY | VT_VARIANT) && V_ARRAYREF(v)) return *V_ARRAYREF(v);
    return nullptr;
}

// Element k of n is read only while k < n - 1: the last element never carries a value. The
// command name is not copied: it is matched at once, while the client's array is unchanged.
HRESULT ReadArguments(const VARIANT& args, std::wstring_view& name, CCAI_Call::Arguments& out) {
    SAFEARRAY* array = ArgumentArray(args);
    if (!array || array->cDims != 1 || array->cbElements != sizeof(VARIANT)) return kNotAnArray;
    const ULONG count = array->rgsabound[0].cElements;
    SafeArrayDataLock lock(array);
    if (FAILED(lock.status())) return lock.status();
    const VARIANT* elements = static_cast<const VARIANT*>(lock.data());
    std::wstring* targets[] = {nullptr, &out.first, &out.second};
    for (ULONG k = 0; k < 3 && k + 1 < count; ++k) {
        const VARIANT& element = elements[k];
        if (V_VT(&element) == VT_EMPTY) continue;
        if (V_VT(&element) != VT_BSTR) return kNotAnArray;
        const BSTR text = V_BSTR(&element);
        if (!text) continue;
        if (k == 0) {
            name = UniqueBstr::View(text);
            continue;
        }
        try {
            targets[k]->assign(UniqueBstr::View(text));
        } catch (const std::bad_alloc&) {
            break;  // go on with what was read
        }
    }
    return S_OK;
}

// Run's own failure entries; the log's first use may fail too, and nothing leaves Run.
void LogRunFailure(const wchar_t* format, HRESULT hr) noexcept {
    try {
        CUtils::Instance().WriteLog(CUtils::LevelError, format, hr);
    } catch (...) {
        // Without a utility object there is no log to write to.
    }
}

// The command's name for a Run that is answered before it is read.
std::wstring CommandName(const VARIANT& args) {
    std::wstring_view name;
    CCAI_Call::Arguments ignored;
    (void)ReadArguments(args, name, ignored);
    return ClientText::ToUpper(std::wstring(name));
}

LONG PublishResultCode(HRESULT hr) {
    if (SUCCEEDED(hr)) return 0;
    if (hr == HR_TIMEOUT || hr == E_NOINTERFACE) return 1;
    if (hr == E_ACCESSDENIED) return 2;
    return 3;
}

}  // namespace

constexpr CCAI_Call::Command CCAI_Call::s_commands[] = {
    {L"QELDOPEN", L"Run() QELDOPEN %s", false, true, &CCAI_Call::OnOpen},
    {L"QELDOPENREADONLY", L"Run() QELDOPENREADONLY %s", false, true, &CCAI_Call::OnOpenReadOnly},
    {L"QELDNEW", L"Run() QELDNEW %s", false, true, &CCAI_Call::OnNew},
    {L"QELDRESTORE", L"Run() QELDRESTORE", false, false, &CCAI_Call::OnRestore},
    {L"COMMAND", L"Run() COMMAND %s", false, false, &CCAI_Call::OnCommand},
    {L"QELDUPDATETITLEBLOCKS", L"Run() QELDUPDATETITLEBLOCKS %s", false, true, &CCAI_Call::OnUpdateTitleBlocks},
    {L"QELDPUBLISHPSX", L"Run() QELDPUBLISHPSX %s", false, false, &CCAI_Call::OnPublishPsx},
    {L"QELDISAVAILABLEFORPUBLISHPSX", nullptr, false, false, &CCAI_Call::OnIsAvailableForPublishPsx},
    {L"QELDCHANGEQELKEY", L"Run() QELDCHANGEQELKEY %s %s", false, false, &CCAI_Call::OnChangeQelkey},
    {L"QELDCHECKAPPLICATION", L"Run() QELDCHECKAPPLICATION", false, false, &CCAI_Call::OnCheckApplication},
    {L"QELDQUIT", L"Run() QELDQUIT", false, false, &CCAI_Call::OnQuit},
    {L"QELDSETLOGLEVEL", L"Run() QELDSETLOGLEVEL %s ", false, false, &CCAI_Call::OnSetLogLevel},
    {L"QELDSETSILENTMODE", L"Run() QELDSETSILENTMODE %s ", true, false, &CCAI_Call::OnSetSilentMode},
    {L"QELDIMPORTTITLEATTRIBUTES", L"Run() QELDIMPORTTITLEATTRIBUTES %s", false, false, &CCAI_Call::OnImportTitleAttributes},
};

HRESULT CCAI_Call::Run(IUnknown* callback, VARIANT args, VARIANT* result) {
    // This runs inside the client's process: a bad call is answered, never crashes it.
    if (!result) {
        LogRunFailure(L"Run() called without a result variable (hr = %X)", E_POINTER);
        return E_POINTER;
    }
    V_VT(result) = VT_I4;
    V_I4(result) = 0;

    try {
        CUtils& utils = CUtils::Instance();
        CVantorApplication& session = CVantorApplication::Instance();
        // The callback is this thread's for this Run: Runs on other threads, and an outer Run
        // that the client re-entered from, keep theirs. Released when Run returns, the
        // session's first.
        CAICallbackHandler::RunScope documentCallback(m_document.Handler());
        CAICallbackHandler::RunScope sessionCallback(session.Handler());
        HRESULT hr = sessionCallback.Set(callback);
        if (FAILED(hr)) {
            utils.WriteLog(CUtils::LevelError, L"Can't set Callback Pointer (hr = %X)", hr);
            return hr;
        }
        hr = documentCallback.Set(callback);
        if (FAILED(hr)) {
            utils.WriteLog(CUtils::LevelError, L"Can't set Callback Pointer for document (hr = %X)", hr);
            return hr;
        }

        // Held until Run returns; a Run that the holder's client re-entered goes through.
        CRunLock::Hold turn(CRunLock::Process(), CRunLock::CurrentCaller());
        if (!turn.Held()) {
            hr = WaitForTurn(turn, args);
            if (FAILED(hr)) {
                V_I4(result) = 1;
                return hr;
            }
        }
        const CRunContext* const outer = turn.OuterContext();
        CRunContext context(outer && outer->Quiet());
        turn.SetContext(&context);

        utils.InitFromClient();
        if (session.EvaluateInteger(L"$(_VNTXVER)") < kMinimumClientVersion) {
            utils.ShowMessage(session.GetUserMessage(L"VX16004", false), MB_OK);
            return S_OK;
        }

        std::wstring_view name;
        Arguments arguments;
        hr = ReadArguments(args, name, arguments);
        if (FAILED(hr)) {
            utils.WriteLog(CUtils::LevelError, L"Run() The argument is not an array of strings (hr = %X)", hr);
            V_I4(result) = 1;
            return hr;
        }

        LONG code = 0;
        hr = RunCommand(name, arguments, code);
        if (code == 0 && FAILED(hr)) code = 1;
        V_I4(result) = code;
        return hr;
    } catch (...) {
        const HRESULT hr = HResultFromCaught();
        LogRunFailure(L"Run() failed with an unexpected error (hr = %X)", hr);
        V_I4(result) = 1;
        return hr;
    }
}

// Names match in any letter case: the name is upper-cased, then compared exactly. Plain
// letters are upper-cased in the comparison; a name with other characters that matched
// nothing so is upper-cased by the system's rules and tried again. The table's names are
// upper-case letters A to Z only, so clearing bit 5 upper-cases exactly their own letters
// and maps no other character onto one (checked as the table is built).
const CCAI_Call::Command* CCAI_Call::FindCommand(std::wstring_view name) {
    static_assert([] {
        for (const Command& command : s_commands)
            for (const wchar_t c : command.name)
                if (c < L'A' || c > L'Z') return false;
        return true;
    }());
    const auto find = [](std::wstring_view text) -> const Command* {
        for (const Command& command : s_commands) {
            if (command.name.size() != text.size()) continue;
            size_t i = 0;
            while (i < text.size() && (text[i] & ~0x20) == command.name[i]) ++i;
            if (i == text.size()) return &command;
        }
        return nullptr;
    };
    if (const Command* command = find(name)) return command;
    if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; })) return nullptr;
    return find(ClientText::ToUpper(std::wstring(name)));
}

// Another caller's Run holds the process's turn. On this very thread it cannot end while this
// one waits; elsewhere it is waited for, up to the job's deadline.
HRESULT CCAI_Call::WaitForTurn(CRunLock::Hold& turn, const VARIANT& args) {
    CUtils& utils = CUtils::Instance();
    if (turn.HolderOnThisThread()) {
        utils.WriteLog(CUtils::LevelError, L"Run() %s refused: this thread is running a command of another caller",
                       CommandName(args));
        return E_FAIL;
    }
    const CJobDeadline deadline = CJobDeadline::Read();
    if (turn.Wait(deadline.MillisecondsLeft())) return S_OK;
    if (!deadline.IsSet() || deadline.IsStale()) {
        utils.WriteLog(CUtils::LevelError, L"Run() %s Can't wait for the running command (hr = %X)",
                       CommandName(args), E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
    utils.WriteLog(CUtils::LevelError, L"Run() %s Deadline (%24.24s) for this job has exceeded while another caller's "
                   L"command ran", CommandName(args), deadline.Text());
    return HR_TIMEOUT;
}

HRESULT CCAI_Call::RunCommand(std::wstring_view name, Arguments& args, LONG& result) {
    CUtils& utils = CUtils::Instance();
    const Command* command = FindCommand(name);
    if (!command) {
        utils.WriteLog(CUtils::LevelError, L"Run() %s (%s, %s) not supported", ClientText::ToUpper(std::wstring(name)),
                       args.first, args.second);
        return E_FAIL;
    }
    if (command->upperCaseArgument) args.first = ClientText::ToUpper(std::move(args.first));
    if (command->logFormat) utils.WriteLog(CUtils::LevelInfo, command->logFormat, args.first, args.second);
    // A file call stops at a NUL, and a pipe's server could act as the client's account.
    if (command->pathArgument && !COutsideValue::AcceptPath(L"Run()", args.first)) return E_FAIL;
    return (this->*command->handler)(args, result);
}

CDocumentContext CCAI_Call::DocumentContext() {
    return {m_host, m_host.Application(), CVantorApplication::Instance(), m_document,
            [this](const CCommandLine& commandLine, int check) { return m_host.SendCommand(commandLine, check); },
            m_openTimeLimit};
}

HRESULT CCAI_Call::OnOpen(const Arguments& args, LONG&) {
    // The report is the client's business; the open follows whatever it answers.
    CVantorApplication::Instance().ReportObsoleteDocuments();
    CDocumentContext context = DocumentContext();
    return COpenDocument::OpenDocument(context, args.first, 0);
}

HRESULT CCAI_Call::OnOpenReadOnly(const Arguments& args, LONG&) {
    CDocumentContext context = DocumentContext();
    return COpenDocument::OpenDocument(context, args.first, 1);
}

HRESULT CCAI_Call::OnNew(const Arguments& args, LONG&) {
    CDocumentContext context = DocumentContext();
    return CNewDocument::NewDocument(context, args.first);
}

HRESULT CCAI_Call::OnRestore(const Arguments&, LONG&) { return m_host.RestoreApplication(); }

HRESULT CCAI_Call::OnCommand(const Arguments& args, LONG&) { return m_host.SendCommand(CCommandLine::FromClient(args.first), 1); }

HRESULT CCAI_Call::OnUpdateTitleBlocks(const Arguments& args, LONG&) {
    CDocumentContext context = DocumentContext();
    return CTitleBlocks::UpdateAllTitleblocks(context, args.first);
}

HRESULT CCAI_Call::OnPublishPsx(const Arguments& args, LONG& result) {
    CSetTemporaryQuietMode quiet;
    CDocumentContext context = DocumentContext();
    const HRESULT hr = CPublishPSX(context).PublishPSX(args.first);
    result = PublishResultCode(hr);
    return hr;
}

HRESULT CCAI_Call::OnIsAvailableForPublishPsx(const Arguments&, LONG& result) {
    CSetTemporaryQuietMode quiet;
    return m_host.IsAvailableForPublishPSX(result);
}

HRESULT CCAI_Call::OnChangeQelkey(const Arguments& args, LONG&) {
    const CDocumentContext context = DocumentContext();
    return CKeyMaintenance(context).ChangeQelkey(args.first, args.second);
}

HRESULT CCAI_Call::OnCheckApplication(const Arguments&, LONG&) {
    CVantorApplication& session = CVantorApplication::Instance();
    session.SetClientEnvironment(L"RETVECTAProfile", session.EvaluateText(L"#(Appl:Profile)").view());
    return S_OK;
}

HRESULT CCAI_Call::OnQuit(const Arguments&, LONG&) { return m_host.QuitVecta(); }

HRESULT CCAI_Call::OnSetLogLevel(const Arguments& args, LONG&) {
    CUtils::Instance().SetLogThreshold(ClientText::ToInteger(args.first));
    return S_OK;
}

HRESULT CCAI_Call::OnSetSilentMode(const Arguments& args, LONG&) {
    CUtils::Instance().SetQuiet(args.first == L"TRUE");
    return S_OK;
}

HRESULT CCAI_Call::OnImportTitleAttributes(const Arguments& args, LONG& result) {
    LONG outcome = -1;
    CDocumentContext context = DocumentContext();
    CTitleBlocks::QELDImportTitleAttributes(context, args.first, outcome);
    if (outcome == -1) CUtils::Instance().WriteLog(CUtils::LevelError, L"Unknown error!");
    result = outcome;
    return S_OK;
}
