#pragma once
#include "support/UniqueHandle.h"
#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The user's way out of a host search: a thread that asks, each time the start-up wait has
// passed without the host, whether to go on waiting, and raises the cancel flag when the
// user declines or after the sixth question. One object per search, shared by the search
// and its thread; the thread is never joined, so whichever ends last frees the object. The
// thread never holds the client: the search reads the texts of each question for it, on its
// own thread, so nothing is left to release into the search's apartment after it has ended.
class CCancelThread {
public:
    static constexpr int kMaxYesAnswers = 5;

    // The search's hold on its thread: stops the thread however the search ends.
    class Owner {
    public:
        Owner() noexcept = default;
        explicit Owner(std::shared_ptr<CCancelThread> thread) noexcept : m_thread(std::move(thread)) {}
        Owner(Owner&&) noexcept = default;
        Owner& operator=(Owner&&) = delete;
        ~Owner() {
            if (m_thread) m_thread->Stop();
        }
        explicit operator bool() const noexcept { return m_thread != nullptr; }
        CCancelThread* operator->() const noexcept { return m_thread.get(); }
        CCancelThread* get() const noexcept { return m_thread.get(); }

    private:
        std::shared_ptr<CCancelThread> m_thread;
    };

    ~CCancelThread();

    // Creates the cancel event and starts the thread; empty when either cannot be created.
    static Owner Start(const std::wstring& profile, long startupWait);

    bool IsCancelled() const noexcept { return m_cancelled.load() != 0; }
    // The thread's handle, signalled once it has ended: while the search runs, only after it
    // raised the flag, so that the search need not sleep out its pass.
    HANDLE Thread() const noexcept { return m_thread.get(); }
    // Signalled when the thread waits for texts from the client; the search then serves them.
    HANDLE TextsWanted() const noexcept { return m_textsWanted.get(); }
    // On the search's thread: reads the texts the thread asked for from the client.
    void ServeTexts() noexcept;

private:
    CCancelThread(const std::wstring& profile, long startupWait, bool runQuiet);
    static DWORD WINAPI CancelThread(void* argument) noexcept;
    // Ends a waiting thread; a question already open stays until answered.
    void Stop() noexcept;
    void Run() noexcept;
    // Waits out the time unless the search stops first; true when it stopped.
    bool StoppedWithin(DWORD milliseconds) const noexcept;
    void AskUntilFoundOrCancelled();
    static void LogExit();
    enum Texts { kNone, kApplicationName, kFirstQuestion, kLaterQuestion };
    // Asks the search for texts; false when the search ends first.
    bool Fetch(Texts texts, std::vector<std::wstring>& answer) noexcept;

    // Auto-reset; the search signals it when it ends, and when it has served texts (the
    // thread tells the two apart by the flags below).
    UniqueHandle m_event;
    UniqueHandle m_textsWanted;  // auto-reset, signalled by the thread
    UniqueHandle m_thread;
    std::atomic<int> m_cancelled{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<int> m_wanted{kNone};
    std::atomic<bool> m_served{false};
    std::vector<std::wstring> m_texts;  // written by the search before m_served, then the thread's
    const std::wstring m_profile;
    const long m_startupWait;
    const bool m_runQuiet;  // the quiet scope of the search's Run, which the thread asks for
};
