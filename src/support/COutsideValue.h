#pragma once
#include <string>
#include <string_view>

// The one place that decides what a value from outside may be before the component uses it:
// Run's arguments, client answers, database keys and names found in shared folders. It
// refuses what could run, delete or overwrite something it should not (control characters,
// names that leave their folder, keys that would split a command line) and nothing a real
// user has. Every refusal is an Error entry naming the operation, the value and the reason.
class COutsideValue {
public:
    // NUL or another control character (C0, DEL, C1): file calls stop at a NUL, and a line
    // break starts another log line or command.
    static bool HasControl(std::wstring_view value) noexcept;
    // A drive letter, ":" and "\" or "/" ("C:\x", "C:/x"), or a UNC path "\\server\share"
    // (either slash). Not "C:x", "\x" or a bare name.
    static bool IsAbsolute(std::wstring_view path) noexcept;
    // The part after the last "\" or "/" (Windows takes both).
    static std::wstring FileName(const std::wstring& path);

    // The rules below, each as the reason a value is refused, null when it passes; the Accept
    // functions log that reason. A check that only reports (the diagnosis) asks these.
    static const wchar_t* PathRefusal(std::wstring_view path) noexcept;
    static const wchar_t* AbsolutePathRefusal(std::wstring_view path) noexcept;
    static const wchar_t* FileNameRefusal(const std::wstring& path);
    static const wchar_t* KeyRefusal(std::wstring_view key) noexcept;

    // A path the component opens, copies or deletes: no control character.
    [[nodiscard]] static bool AcceptPath(const wchar_t* operation, const std::wstring& path);
    // A path handed to Vecta or written for it, which resolves any other than an absolute
    // path in its working folder: no control character, and absolute.
    [[nodiscard]] static bool AcceptAbsolutePath(const wchar_t* operation, const std::wstring& path);
    // A path whose file name the component uses inside a folder of its own (the lock, the
    // fallback's copy): the name cannot leave that folder unless it is made only of dots and
    // blanks, or names a drive or stream (":"). "Plan..A.dwg" passes.
    [[nodiscard]] static bool AcceptFileName(const wchar_t* operation, const std::wstring& path);
    // A database key is an identifier, typed into Vecta's command line and put into client
    // commands: no blank (Unicode blanks included), control character, quote, "|" or
    // expression opener ("#(", "$(", "@("). The empty key passes: callers decide about it.
    [[nodiscard]] static bool AcceptKey(const wchar_t* operation, const std::wstring& key);
};
