#include "CJobDeadline.h"
#include "client/CVantorApplication.h"
#include "support/CLog.h"
#include <algorithm>
#include <ctime>

CJobDeadline CJobDeadline::Read() {
    std::int64_t seconds = 0;
    CVantorApplication::Instance().GetJobDeadline(&seconds);
    return CJobDeadline(seconds);
}

bool CJobDeadline::IsStale() const noexcept { return IsSet() && m_seconds < _time64(nullptr); }

bool CJobDeadline::HasPassed() const noexcept { return IsSet() && m_seconds <= _time64(nullptr); }

DWORD CJobDeadline::MillisecondsLeft() const noexcept {
    if (!IsSet() || IsStale()) return INFINITE;
    const std::int64_t left = m_seconds - _time64(nullptr);
    return static_cast<DWORD>(std::min<std::int64_t>(left * 1000, INFINITE - 1));
}

std::wstring CJobDeadline::Text() const {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(m_seconds + 11644473600LL) * 10000000ULL;
    const FILETIME utc{ticks.LowPart, ticks.HighPart};
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return {};
    return CLog::TimeText(time);
}
