#include "CCancelThread.h"
#include "client/CVantorApplication.h"
#include "support/CComponentThreads.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/ScopeGuard.h"
#include "support/UnreadMarshalData.h"

namespace {

constexpr UINT kQuestionStyle = MB_ICONQUESTION | MB_YESNO;

}  // namespace

CCancelThread::CCancelThread(const std::wstring& profile, long startupWait)
    : m_profile(profile), m_startupWait(startupWait) {}

CCancelThread::~CCancelThread() { ReleaseUnreadMarshalData(TakeCallbackStream()); }

CCancelThread::Owner CCancelThread::Start(const std::wstring& profile, long startupWait) {
    std::shared_ptr<CCancelThread> self(new CCancelThread(profile, startupWait));
    self->m_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!self->m_event.valid()) return {};

    auto share = std::make_unique<std::shared_ptr<CCancelThread>>(self);
    self->m_thread.reset(CComponentThreads::Start(&CCancelThread::CancelThread, share.get()));
    if (!self->m_thread.valid()) return {};
    (void)share.release();  // the thread's share now
    return Owner(std::move(self));
}

void CCancelThread::ShareCallback() noexcept {
    if (m_shared.load()) return;
    // The client's object belongs to the search's apartment: the thread gets a marshalled copy.
    if (ICAICallback* callback = CVantorApplication::Instance().GetCallback()) {
        IStream* stream = nullptr;
        const HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_ICAICallback, callback, &stream);
        if (FAILED(hr))
            CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Client not reachable from the thread (hr = %X)",
                                        hr);
        m_callbackStream = stream;
    }
    m_shared = true;
    SetEvent(m_event.get());
}

void CCancelThread::Stop() noexcept {
    m_stopped = true;
    SetEvent(m_event.get());
    // Released here, in the callback's own apartment, unless the thread took it already.
    ReleaseUnreadMarshalData(TakeCallbackStream());
}

DWORD WINAPI CCancelThread::CancelThread(void* argument) noexcept {
    const std::unique_ptr<std::shared_ptr<CCancelThread>> share(static_cast<std::shared_ptr<CCancelThread>*>(argument));
    (*share)->Run();
    return 0;
}

void CCancelThread::Run() noexcept {
    try {
        CUtils::Instance().WriteLog(CUtils::LevelInfo, L"CancelThread: Enter");
        if (StoppedWithin(static_cast<DWORD>(m_startupWait))) return LogExit();
        AskWithClient();
    } catch (...) {
        CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Unexpected failure (hr = %X)", HResultFromCaught());
    }
}

bool CCancelThread::StoppedWithin(DWORD milliseconds) const noexcept {
    const DWORD begin = GetTickCount();
    for (;;) {
        if (m_stopped.load()) return true;
        const DWORD waited = GetTickCount() - begin;
        if (waited >= milliseconds) return false;
        WaitForSingleObject(m_event.get(), milliseconds - waited);
    }
}

// The questions take their texts from the client, through the copy the search shares.
void CCancelThread::AskWithClient() {
    // Until the search hands over the callback (its first pass may outlast the start-up wait)
    // or ends; it does one or the other.
    while (!m_shared.load() && !m_stopped.load()) WaitForSingleObject(m_event.get(), INFINITE);

    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ScopeGuard uninitialize([init]() noexcept {
        if (SUCCEEDED(init)) CoUninitialize();
    });
    IStream* stream = TakeCallbackStream();
    if (m_stopped.load()) {  // the search has ended
        ReleaseUnreadMarshalData(stream);
        return LogExit();
    }
    ComPtr<ICAICallback> callback;
    if (stream) {
        const HRESULT hr = CoGetInterfaceAndReleaseStream(stream, IID_ICAICallback, callback.put_void());
        if (FAILED(hr))
            CUtils::Instance().WriteLog(CUtils::LevelError, L"CancelThread: Client not reachable from the thread (hr = %X)",
                                        hr);
    }
    // Never the search's own pointer: without a copy the thread asks with the keys.
    CAICallbackHandler::ThreadCallbackScope scope(callback.get());
    AskUntilFoundOrCancelled();
    LogExit();  // before the copy goes: its release waits for the search's apartment
}

void CCancelThread::LogExit() { CUtils::Instance().WriteLog(CUtils::LevelInfo, L"CancelThread: Exit"); }

void CCancelThread::AskUntilFoundOrCancelled() {
    CUtils& utils = CUtils::Instance();
    CVantorApplication& session = CVantorApplication::Instance();
    int yesAnswers = 0;
    for (bool first = true;; first = false) {
        utils.WriteLog(first ? CUtils::LevelInfo : CUtils::LevelError,
                       L"CancelThread: Wait for %s with the profile '%s' to be available", session.GetApplicationName(),
                       m_profile);
        const std::wstring question = session.GetUserMessage(yesAnswers == 0 ? L"VX16007" : L"VX16008", true) + L"\n" +
                                      session.GetUserMessage(L"VX16011", false);
        const int answer = utils.AskMessage(question, IDYES, kQuestionStyle);
        if (answer == IDYES && yesAnswers < kMaxYesAnswers) {
            ++yesAnswers;
            if (StoppedWithin(static_cast<DWORD>(m_startupWait))) return;
            continue;
        }
        if (yesAnswers >= kMaxYesAnswers)
            utils.WriteLog(CUtils::LevelError, L"CancelThread: Operation has been cancelled after 5 tries!");
        else
            utils.WriteLog(CUtils::LevelInfo, L"CancelThread: User has cancelled the operation!");
        m_cancelled = 1;
        return;
    }
}
