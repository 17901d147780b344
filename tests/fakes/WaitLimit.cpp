#include "WaitLimit.h"
#include "TextBytes.h"
#include <gtest/gtest.h>
#include <cstdio>

namespace {

[[noreturn]] void GiveUp(const std::string& what, std::chrono::seconds limit) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\n%s%s%s: no end after %lld s waiting for %s; the test program stops here\n",
                 test ? test->test_suite_name() : "", test ? "." : "", test ? test->name() : "test",
                 static_cast<long long>(limit.count()), what.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) Sleep(INFINITE);  // TerminateProcess of the own process does not return
}

}  // namespace

WaitLimit::WaitLimit(std::string what, std::chrono::seconds limit)
    : m_watch([this, what = std::move(what), limit] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_left.wait_for(lock, limit, [this] { return m_done; })) GiveUp(what, limit);
      }) {}

WaitLimit::~WaitLimit() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_left.notify_one();
    m_watch.join();
}

std::string RunOf(const std::vector<std::wstring>& items) {
    return "Run " + (items.empty() ? std::string() : TextBytes::Utf8(items[0]));
}

void JoinWithin(std::thread& thread, const std::string& what, std::chrono::seconds limit) {
    const WaitLimit bound(what, limit);
    thread.join();
}

void WaitWithin(HANDLE handle, const std::string& what, std::chrono::seconds limit) {
    const DWORD milliseconds = static_cast<DWORD>(std::chrono::milliseconds(limit).count());
    if (WaitForSingleObject(handle, milliseconds) != WAIT_OBJECT_0) GiveUp(what, limit);
}
