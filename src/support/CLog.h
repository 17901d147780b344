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

    // A text written as it is, line breaks included: the client's message texts.
    struct AsIs {
        const std::wstring& text;
    };

    // printf-style entry: %s takes a wide string (std::wstring, wchar_t* or AsIs), %d and %X
    // 32-bit values. The format is written as it is, line breaks included; a string value's
    // control characters are written as "\xHH", so that no value starts a line of its own and
    // a NUL inside it shows. An entry is written whole.
    template <class... Args>
    void Write(int level, const wchar_t* format, const Args&... args) noexcept {
        if (level > m_threshold.load(std::memory_order_relaxed)) return;
        try {
            WriteFormatted(level, format, Arg(Value(args))...);
        } catch (...) {
            // An entry that cannot be built is dropped, like one that cannot be written.
        }
    }

    long Threshold() const noexcept { return m_threshold; }
    void SetThreshold(long threshold) noexcept { m_threshold = threshold; }

    // "Www Mmm dd hh:mm:ss yyyy", the log's 24-character time text, for any local time.
    static std::wstring TimeText(const SYSTEMTIME& local);
    // The versioned module's path and file version, as the header names them.
    static void GetModuleVersion(std::wstring& path, std::wstring& version);

private:
    // A string value as the log shows it; the original when it holds no control character.
    class Shown {
    public:
        Shown(const wchar_t* text, size_t length);
        const wchar_t* get() const noexcept { return m_escaped.empty() ? m_text : m_escaped.c_str(); }

    private:
        const wchar_t* m_text;
        std::wstring m_escaped;
    };

    static Shown Value(const std::wstring& s) { return Shown(s.data(), s.size()); }
    static Shown Value(const wchar_t* s) { return Shown(s, s ? std::char_traits<wchar_t>::length(s) : 0); }
    static const wchar_t* Value(const AsIs& s) noexcept { return s.text.c_str(); }
    template <class T>
    static const T& Value(const T& v) noexcept { return v; }
    static const wchar_t* Arg(const Shown& s) noexcept { return s.get(); }
    template <class T>
    static const T& Arg(const T& v) noexcept { return v; }

    void WriteFormatted(int level, const wchar_t* format, ...) noexcept;

    std::atomic<long> m_threshold{0};
    std::mutex m_lock;
    bool m_headerPending = true;  // guarded by m_lock
};
