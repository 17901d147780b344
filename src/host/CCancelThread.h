#pragma once
#include "support/UniqueHandle.h"
#include <objidl.h>
#include <atomic>
#include <memory>
#include <string>

// The user's way out of a host search: a thread that asks, each time the start-up wait has
// passed without the host, whether to go on waiting, and raises the cancel flag when the
// user declines or after the sixth question. One object per search, shared by the search
// and its thread; the thread is never joined, so whichever ends last frees the object.
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

    // Hands the client's callback to the thread for its questions, marshalled here on the
    // search's thread; called once the first pass has not found the host, since no question
    // comes before one start-up wait (a host found at once never needs it).
    void ShareCallback() noexcept;
    bool IsCancelled() const noexcept { return m_cancelled.load() != 0; }
    // The thread's handle, signalled once it has ended: while the search runs, only after it
    // raised the flag, so that the search need not sleep out its pass.
    HANDLE Thread() const noexcept { return m_thread.get(); }

private:
    CCancelThread(const std::wstring& profile, long startupWait);
    static DWORD WINAPI CancelThread(void* argument) noexcept;
    // Ends a waiting thread; a question already open stays until answered.
    void Stop() noexcept;
    void Run() noexcept;
    // Waits out the time unless the search stops first; true when it stopped.
    bool StoppedWithin(DWORD milliseconds) const noexcept;
    void AskWithClient();
    void AskUntilFoundOrCancelled();
    static void LogExit();
    // The marshalled callback, taken once: by the thread, or released unread by the search.
    IStream* TakeCallbackStream() noexcept { return m_callbackStream.exchange(nullptr); }

    // Auto-reset; the search signals it when it ends, and when it shares the callback (the
    // thread tells the two apart by the flags below).
    UniqueHandle m_event;
    UniqueHandle m_thread;
    std::atomic<int> m_cancelled{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_shared{false};
    const std::wstring m_profile;
    const long m_startupWait;
    std::atomic<IStream*> m_callbackStream{nullptr};
};
