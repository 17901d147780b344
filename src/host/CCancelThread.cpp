#include "CCancelThread.h"
#include "client/CVantorApplication.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/ScopeGuard.h"

namespace {

constexpr UINT kQuestionStyle = MB_ICONQUESTION | MB_YESNO;

}  // namespace

// What the new thread receives: its share of the object and a reference on the module
// that keeps the component loaded until the thread has left its code.
struct CCancelThread::ThreadStart {
    std::shared_ptr<CCancelThread> owner;
    HMODULE module = nullptr;
};

CCancelThread::CCancelThread(const std::wstring& profile, long startupWait)
    : m_profile(profile), m_startupWait(startupWait) {}

CCancelThread::~CCancelThread() {
    if (!m_callbackStream) return;
    // Marshal data that was never unmarshalled still holds a reference on the client's object.
    const LARGE_INTEGER start{};
    if (SUCCEEDED(m_callbackStream->Seek(start, STREAM_SEEK_SET, nullptr))) CoReleaseMarshalData(m_callbackStream.get());
}

std::shared_ptr<CCancelThread> CCancelThread::Start(const std::wstring& profile, long startupWait) {
    std::shared_ptr<CCancelThread> self(new CCancelThread(profile, startupWait));
    self->m_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    self->m_cancelledEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!self->m_event.valid() || !self->m_cancelledEvent.valid()) return nullptr;

    // The thread asks the client for its texts; the client's object belongs to this
    // thread's apartment, so the thread gets a marshalled copy (a proxy when needed).
    if (ICAICallback* callback = CVantorApplication::Instance().GetCallback()) {
        const HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_ICAICallback, callback, self->m_callbackStream.put());
        if (FAILED(hr))
            CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Client not reachable from the thread (hr = %X)",
                                        hr);
    }

    auto start = std::make_unique<ThreadStart>();
    start->owner = self;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&CCancelThread::CancelThread),
                            &start->module))
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, &CCancelThread::CancelThread, start.get(), 0, nullptr);
    if (!thread) {
        FreeLibrary(start->module);
        return nullptr;
    }
    (void)start.release();
    CloseHandle(thread);
    return self;
}

void CCancelThread::ResetCancel() noexcept {
    m_cancelled = 0;
    ResetEvent(m_cancelledEvent.get());
}

void CCancelThread::Stop() noexcept { SetEvent(m_event.get()); }

DWORD WINAPI CCancelThread::CancelThread(void* argument) noexcept {
    HMODULE module = nullptr;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
        module = start->module;
        start->owner->Run();
    }
    FreeLibraryAndExitThread(module, 0);
}

void CCancelThread::Run() noexcept {
    try {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ScopeGuard uninitialize([init]() noexcept {
            if (SUCCEEDED(init)) CoUninitialize();
        });
        ComPtr<ICAICallback> callback;
        if (m_callbackStream) {
            const HRESULT hr =
                CoGetInterfaceAndReleaseStream(m_callbackStream.detach(), IID_ICAICallback, callback.put_void());
            if (FAILED(hr))
                CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Client not reachable from the thread (hr = %X)",
                                            hr);
        }
        // Never the Run thread's own pointer: without a copy the thread asks with the keys.
        CAICallbackHandler::ThreadCallbackScope scope(callback.get());
        AskUntilFoundOrCancelled();
    } catch (...) {
        CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Unexpected failure (hr = %X)", HResultFromCaught());
    }
}

void CCancelThread::AskUntilFoundOrCancelled() {
    CUtils& utils = CUtils::Instance();
    CVantorApplication& session = CVantorApplication::Instance();
    utils.WriteLog(CUtils::LevelInfo, L"CancelThread: Enter");
    int yesAnswers = 0;
    for (bool first = true; WaitForSingleObject(m_event.get(), static_cast<DWORD>(m_startupWait)) == WAIT_TIMEOUT;
         first = false) {
        utils.WriteLog(first ? CUtils::LevelInfo : CUtils::LevelError,
                       L"CancelThread: Wait for %s with the profile '%s' to be available", session.GetApplicationName(),
                       m_profile);
        const std::wstring question = session.GetUserMessage(yesAnswers == 0 ? L"VX16007" : L"VX16008", true) + L"\n" +
                                      session.GetUserMessage(L"VX16011", false);
        const int answer = utils.AskMessage(question, IDYES, kQuestionStyle);
        if (answer == IDYES && yesAnswers < kMaxYesAnswers) {
            ++yesAnswers;
            continue;
        }
        if (yesAnswers >= kMaxYesAnswers)
            utils.WriteLog(CUtils::LevelError, L"CancelThread: Operation has been cancelled after 5 tries!");
        else
            utils.WriteLog(CUtils::LevelInfo, L"CancelThread: User has cancelled the operation!");
        m_cancelled = 1;
        SetEvent(m_cancelledEvent.get());
        break;
    }
    utils.WriteLog(CUtils::LevelInfo, L"CancelThread: Exit");
}
