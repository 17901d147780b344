#pragma once
#include "support/ComPtr.h"
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

    ~CCancelThread();

    // Creates the cancel event and starts the thread; null when either cannot be created.
    // The client's callback is marshalled for the thread here, on the Run thread.
    static std::shared_ptr<CCancelThread> Start(const std::wstring& profile, long startupWait);

    bool IsCancelled() const noexcept { return m_cancelled.load() != 0; }
    void ResetCancel() noexcept;
    // Signalled when the flag rises, so that the search need not sleep out its pass.
    HANDLE CancelledEvent() const noexcept { return m_cancelledEvent.get(); }
    // Ends a waiting thread; a question already open stays until answered.
    void Stop() noexcept;

private:
    struct ThreadStart;

    CCancelThread(const std::wstring& profile, long startupWait);
    static DWORD WINAPI CancelThread(void* argument) noexcept;
    void Run() noexcept;
    void AskUntilFoundOrCancelled();

    UniqueHandle m_event;           // auto-reset; the search signals it when it ends
    UniqueHandle m_cancelledEvent;  // manual-reset twin of the flag
    std::atomic<int> m_cancelled{0};
    const std::wstring m_profile;
    const long m_startupWait;
    ComPtr<IStream> m_callbackStream;  // taken by the thread; released unread if it never runs
};
