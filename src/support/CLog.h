#pragma once
#include "Singleton.h"
#include <windows.h>
#include <atomic>
#include <mutex>
#include <string>

// The log file "vx17log.err" in the client's working folder: its one writer at a time in the
// process (appends through separate handles are not atomic everywhere, Wine's included), the
// header before the first entry of a process, and the level below which entries are written.
class CLog : public Singleton<CLog> {
public:
    enum Level { LevelError = 0, LevelInfo = 1, LevelMessage = 2 };

    // printf-style entry: %s takes a wide string (std::wstring or wchar_t*), %d and %X 32-bit values.
    // The expanded text is written as it is, line breaks included; an entry is written whole.
    template <class... Args>
    void Write(int level, const wchar_t* format, const Args&... args) noexcept {
        if (level > m_threshold.load(std::memory_order_relaxed)) return;
        WriteFormatted(level, format, Arg(args)...);
    }

    long Threshold() const noexcept { return m_threshold; }
    void SetThreshold(long threshold) noexcept { m_threshold = threshold; }

    // "Www Mmm dd hh:mm:ss yyyy", the log's 24-character time text, for any local time.
    static std::wstring TimeText(const SYSTEMTIME& local);
    // The versioned module's path and file version, as the header names them.
    static void GetModuleVersion(std::wstring& path, std::wstring& version);

private:
    static const wchar_t* Arg(const std::wstring& s) noexcept { return s.c_str(); }
    template <class T>
    static const T& Arg(const T& v) noexcept { return v; }

    void WriteFormatted(int level, const wchar_t* format, ...) noexcept;

    std::atomic<long> m_threshold{0};
    std::mutex m_lock;
    bool m_headerPending = true;  // guarded by m_lock
};
