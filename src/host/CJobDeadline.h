#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

// The job server's deadline for the running job, as the client answers it in
// "$(JobServerJobTimeout_time_t)" (seconds since 1970, UTC); 0 means none. Read through the
// calling thread's client, so only inside a Run.
class CJobDeadline {
public:
    static CJobDeadline Read();

    std::int64_t Seconds() const noexcept { return m_seconds; }
    bool IsSet() const noexcept { return m_seconds != 0; }
    // Set, and earlier than now: a deadline the job has missed before it began is not one.
    bool IsStale() const noexcept;
    bool HasPassed() const noexcept;
    void Clear() noexcept { m_seconds = 0; }
    // What is left of it for a wait: INFINITE when unset or stale, 0 once reached.
    DWORD MillisecondsLeft() const noexcept;
    // The deadline as the log's local time text.
    std::wstring Text() const;

private:
    explicit CJobDeadline(std::int64_t seconds) noexcept : m_seconds(seconds) {}
    std::int64_t m_seconds;
};
