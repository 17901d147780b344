#pragma once
#include "CCheckedPath.h"
#include "COwnFileName.h"
#include "CQelKey.h"
#include "CQuotedText.h"
#include <optional>
#include <string>
#include <string_view>

// The one place that decides what a value from outside may be before the component uses it:
// Run's arguments, client answers, database keys and names found in shared folders. It
// refuses what could run, delete or overwrite something it should not (control characters,
// devices and pipes, names that leave their folder, keys that would split a command line,
// quotes that would end a quoted argument) and nothing a real user has. Every refusal is an
// Error entry naming the operation, the value and the reason; what passes becomes one of the
// checked types, which nothing else can make.
class COutsideValue {
public:
    // NUL or another control character (C0, DEL, C1): file calls stop at a NUL, and a line
    // break starts another log line or command.
    static bool HasControl(std::wstring_view value) noexcept;
    // A drive letter, ":" and "\" or "/" ("C:\x", "C:/x"), a UNC path "\\server\share"
    // (either slash), or either behind "\\?\" ("\\?\C:\x", "\\?\UNC\server\share"). Not
    // "C:x", "\x", a bare name, "\\\server\x", nor a device or pipe ("\\.\pipe\x", "\??\x").
    static bool IsAbsolute(std::wstring_view path) noexcept;
    // The part after the last "\" or "/" (Windows takes both).
    static std::wstring FileName(const std::wstring& path);

    // The rules below, each as the reason a value is refused, null when it passes. A check that
    // only reports (the diagnosis) asks these.
    static const wchar_t* PathRefusal(std::wstring_view path) noexcept;
    static const wchar_t* AbsolutePathRefusal(std::wstring_view path) noexcept;
    static const wchar_t* FileNameRefusal(const std::wstring& path);
    static const wchar_t* KeyRefusal(std::wstring_view key) noexcept;
    static const wchar_t* QuotedRefusal(std::wstring_view text, std::wstring_view quotes = L"'\"") noexcept;
    static const wchar_t* ReleaseRefusal(std::wstring_view release) noexcept;

    // A command's path argument: empty, which each command answers in its own way, or what the
    // path type takes.
    [[nodiscard]] static bool AcceptPath(const wchar_t* operation, const std::wstring& path);
    // The path type: absolute, no control character, no device or pipe.
    static std::optional<CCheckedPath> Path(const wchar_t* operation, const std::wstring& path);
    // The file name of path, for use inside a folder of the component's own. "Plan..A.dwg" passes.
    static std::optional<COwnFileName> OwnFileName(const wchar_t* operation, const std::wstring& path);
    // A database key; the empty key passes.
    static std::optional<CQelKey> Key(const wchar_t* operation, const std::wstring& key);
    // A value put between quotes in a host or client command; quotes are those that would end
    // them (a command line's own "..." inside '...' ends nothing).
    static std::optional<CQuotedText> Quoted(const wchar_t* operation, const std::wstring& text,
                                             std::wstring_view quotes = L"'\"");
    // A host release named in a registry key path ("R17.1"): a key's characters without "/".
    [[nodiscard]] static bool AcceptRelease(const wchar_t* operation, const std::wstring& release);
};
