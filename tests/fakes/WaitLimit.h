#pragma once
#include <windows.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Bounds a wait of a test for a thread or a Run: when the scope is not left within the
// limit, the test program ends at once and says what it waited for, instead of hanging until
// CTest's time-out (a hung thread cannot be abandoned safely: it still uses the test's frame).
class WaitLimit {
public:
    static constexpr std::chrono::seconds kDefault{30};

    explicit WaitLimit(std::string what, std::chrono::seconds limit = kDefault);
    ~WaitLimit();
    WaitLimit(const WaitLimit&) = delete;
    WaitLimit& operator=(const WaitLimit&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    bool m_done = false;
    std::thread m_watch;
};

// What a bound on a Run of this command array names.
std::string RunOf(const std::vector<std::wstring>& items);

// thread.join() within the limit.
void JoinWithin(std::thread& thread, const std::string& what, std::chrono::seconds limit = WaitLimit::kDefault);

// Waits for the handle to be signalled within the limit.
void WaitWithin(HANDLE handle, const std::string& what, std::chrono::seconds limit = WaitLimit::kDefault);
