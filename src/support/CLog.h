#pragma once
#include "Singleton.h"
#include <windows.h>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

// The log file "vx17log.err" in the client's working folder: its one writer at a time in the
// process (appends through separate handles are not atomic everywhere, Wine's included), the
// header before the first entry of a process, and the level below which entries are written.
class CLog : public Singleton<CLog> {
public:
    enum Level { LevelError = 0, LevelInfo = 1, LevelMessage = 2 };

    // A text written as it is, line breaks included: the client's message texts. Each line break
    // is written as CR LF followed by kContinuation, so no line of it can pass for an entry.
    struct AsIs {
        const std::wstring& text;
    };

    static constexpr wchar_t kContinuation = L'\t';

    // printf-style entry: %s takes a wide string (std::wstring, wchar_t* or AsIs), %d and %X
    // 32-bit values. The format is written as it is, line breaks included. In a string value
    // control characters (line breaks too, except in AsIs), unpaired surrogates, the line and
    // paragraph separators and bidi controls are written as "\uXXXX", so that no value starts
    // a line of its own, a NUL inside it shows and the file decodes strictly as UTF-16. A
    // std::wstring is written by its length. An entry is written whole.
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
    // A string value as the log shows it; the original when nothing in it needs escaping.
    class Shown {
    public:
        Shown(const wchar_t* text, size_t length, bool asIs = false);
        const wchar_t* get() const noexcept { return m_escaped.empty() ? m_text : m_escaped.c_str(); }

    private:
        const wchar_t* m_text;
        std::wstring m_escaped;
    };

    static Shown Value(const std::wstring& s) { return Shown(s.data(), s.size()); }
    static Shown Value(std::wstring_view s) { return Shown(s.data() ? s.data() : L"", s.size()); }
    static Shown Value(const wchar_t* s) { return Shown(s, s ? std::char_traits<wchar_t>::length(s) : 0); }
    static Shown Value(const AsIs& s) { return Shown(s.text.data(), s.text.size(), true); }
    // Anything else goes through "..." as it is: only numbers and pointers may.
    template <class T>
    static const T& Value(const T& v) noexcept {
        static_assert(std::is_scalar_v<T>, "a log value is a number, a pointer or a string");
        return v;
    }
    static const wchar_t* Arg(const Shown& s) noexcept { return s.get(); }
    template <class T>
    static const T& Arg(const T& v) noexcept { return v; }

    void WriteFormatted(int level, const wchar_t* format, ...) noexcept;

    std::atomic<long> m_threshold{0};
    std::mutex m_lock;
    // Opens the log for one entry (empty tells whether it has no byte yet); the full check of a
    // file runs once, until its identity changes.
    HANDLE OpenChecked(bool& empty);

    bool m_headerPending = true;  // guarded by m_lock
    // The working folder and file index of the log file last checked in full; guarded by m_lock.
    bool m_checked = false;
    std::wstring m_checkedFolder;
    LONGLONG m_checkedIndex = 0;
};
