#include "CCancelThread.h"
#include "client/CVantorApplication.h"
#include "runtime/CComponentThreads.h"
#include "support/CRunContext.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"

namespace {

constexpr UINT kQuestionStyle = MB_ICONQUESTION | MB_YESNO;

}  // namespace

CCancelThread::CCancelThread(const std::wstring& profile, long startupWait, bool runQuiet)
    : m_profile(profile), m_startupWait(startupWait), m_runQuiet(runQuiet) {}

CCancelThread::~CCancelThread() = default;

CCancelThread::Owner CCancelThread::Start(const std::wstring& profile, long startupWait) {
    std::shared_ptr<CCancelThread> self(new CCancelThread(profile, startupWait, CRunContext::CurrentQuiet()));
    self->m_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    self->m_textsWanted.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!self->m_event.valid() || !self->m_textsWanted.valid()) return {};

    auto share = std::make_unique<std::shared_ptr<CCancelThread>>(self);
    self->m_thread.reset(CComponentThreads::Start(&CCancelThread::CancelThread, share.get()));
    if (!self->m_thread.valid()) return {};
    (void)share.release();  // the thread's share now
    return Owner(std::move(self));
}

void CCancelThread::ServeTexts() noexcept {
    const int wanted = m_wanted.exchange(kNone);
    if (wanted == kNone) return;
    try {
        CVantorApplication& session = CVantorApplication::Instance();
        if (wanted == kApplicationName) {
            m_texts = {session.GetApplicationName()};
        } else {
            m_texts = {session.GetUserMessage(wanted == kFirstQuestion ? L"VX16007" : L"VX16008", true),
                       session.GetUserMessage(L"VX16011", false)};
            // The caption, as the question dialog would read it; quiet mode shows no dialog.
            if (!CUtils::Instance().IsQuiet()) m_texts.push_back(session.GetUserMessage(L"VX16003", true));
        }
    } catch (...) {
        m_texts.clear();
    }
    m_served = true;
    SetEvent(m_event.get());
}

bool CCancelThread::Fetch(Texts texts, std::vector<std::wstring>& answer) noexcept {
    m_served = false;
    m_wanted = texts;
    SetEvent(m_textsWanted.get());
    while (!m_served.load() && !m_stopped.load()) WaitForSingleObject(m_event.get(), INFINITE);
    if (!m_served.load()) return false;
    answer = std::move(m_texts);
    return true;
}

void CCancelThread::Stop() noexcept {
    m_stopped = true;
    SetEvent(m_event.get());
}

DWORD WINAPI CCancelThread::CancelThread(void* argument) noexcept {
    const std::unique_ptr<std::shared_ptr<CCancelThread>> share(static_cast<std::shared_ptr<CCancelThread>*>(argument));
    (*share)->Run();
    return 0;
}

void CCancelThread::Run() noexcept {
    const CRunContext run(m_runQuiet);
    try {
        CUtils::Instance().WriteLog(CUtils::LevelInfo, L"CancelThread: Enter");
        if (!StoppedWithin(static_cast<DWORD>(m_startupWait))) AskUntilFoundOrCancelled();
        LogExit();
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

void CCancelThread::LogExit() { CUtils::Instance().WriteLog(CUtils::LevelInfo, L"CancelThread: Exit"); }

// The questions' texts come from the client through the search, which ends the thread when
// it ends before answering.
void CCancelThread::AskUntilFoundOrCancelled() {
    CUtils& utils = CUtils::Instance();
    int yesAnswers = 0;
    for (bool first = true;; first = false) {
        std::vector<std::wstring> name, texts;
        if (!Fetch(kApplicationName, name)) return;
        utils.WriteLog(first ? CUtils::LevelInfo : CUtils::LevelError,
                       L"CancelThread: Wait for %s with the profile '%s' to be available", name.empty() ? L"" : name[0],
                       m_profile);
        if (!Fetch(yesAnswers == 0 ? kFirstQuestion : kLaterQuestion, texts)) return;
        texts.resize(3);
        const int answer = utils.AskMessage(texts[0] + L"\n" + texts[1], IDYES, kQuestionStyle, texts[2]);
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
