#include "COutsideValue.h"
#include "CLog.h"
#include <windows.h>

namespace {

bool IsControl(wchar_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDrivePath(std::wstring_view path) noexcept {
    return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

// "server\share…" after the two leading separators: a server name, a separator and a share.
bool IsServerShare(std::wstring_view rest) noexcept {
    if (rest.empty() || IsSeparator(rest[0])) return false;
    const size_t at = rest.find_first_of(L"\\/");
    return at != std::wstring_view::npos && at + 1 < rest.size() && !IsSeparator(rest[at + 1]);
}

// "\\.\", "\\?\" and "\??\" (either slash) lead to the object namespace: devices and pipes.
bool IsNamespacePrefix(std::wstring_view path) noexcept {
    if (path.size() < 4 || !IsSeparator(path[0]) || !IsSeparator(path[3])) return false;
    return (IsSeparator(path[1]) && (path[2] == L'.' || path[2] == L'?')) || (path[1] == L'?' && path[2] == L'?');
}

// Letters, digits and marks of any script, by the system's character types.
bool IsLetterDigitOrMark(wchar_t c) noexcept {
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    WORD kind = 0, mark = 0;
    if (!GetStringTypeW(CT_CTYPE1, &c, 1, &kind) || !GetStringTypeW(CT_CTYPE3, &c, 1, &mark)) return false;
    return (kind & (C1_ALPHA | C1_DIGIT)) || (mark & (C3_NONSPACING | C3_VOWELMARK));
}

bool IsKeyCharacter(wchar_t c) noexcept {
    return c == L'-' || c == L'_' || c == L'.' || c == L'/' || IsLetterDigitOrMark(c);
}

// A release is the name of one registry key: a key's characters but "/".
bool IsReleaseCharacter(wchar_t c) noexcept { return c != L'/' && IsKeyCharacter(c); }

// True, with an Error entry naming the reason, when a rule refuses the value.
bool Refused(const wchar_t* operation, const wchar_t* what, const std::wstring& value, const wchar_t* refusal) {
    if (!refusal) return false;
    CLog::Instance().Write(CLog::LevelError, L"%s: Refused %s '%s': %s", operation, what, value, refusal);
    return true;
}

}  // namespace

bool COutsideValue::HasControl(std::wstring_view value) noexcept {
    for (const wchar_t c : value)
        if (IsControl(c)) return true;
    return false;
}

bool COutsideValue::IsAbsolute(std::wstring_view path) noexcept {
    if (IsDrivePath(path)) return true;
    if (path.size() >= 4 && path.substr(0, 4) == L"\\\\?\\") {
        const std::wstring_view rest = path.substr(4);
        return (IsDrivePath(rest) && rest[2] == L'\\') || (rest.substr(0, 4) == L"UNC\\" && IsServerShare(rest.substr(4)));
    }
    if (IsNamespacePrefix(path) || path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
    return IsServerShare(path.substr(2));
}

std::wstring COutsideValue::FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

const wchar_t* COutsideValue::PathRefusal(std::wstring_view path) noexcept {
    return HasControl(path) ? L"it holds a control character" : nullptr;
}

const wchar_t* COutsideValue::AbsolutePathRefusal(std::wstring_view path) noexcept {
    if (const wchar_t* refusal = PathRefusal(path)) return refusal;
    if (IsNamespacePrefix(path) && !IsAbsolute(path)) return L"it names a device or pipe";
    return IsAbsolute(path) ? nullptr : L"not an absolute path";
}

const wchar_t* COutsideValue::FileNameRefusal(const std::wstring& path) {
    if (const wchar_t* refusal = PathRefusal(path)) return refusal;
    const std::wstring name = FileName(path);
    if (name.find(L':') != std::wstring::npos) return L"its file name names a drive or stream (\":\")";
    if (name.find_first_not_of(L". ") == std::wstring::npos) return L"its file name is made only of dots and blanks";
    return nullptr;
}

const wchar_t* COutsideValue::KeyRefusal(std::wstring_view key) noexcept {
    for (const wchar_t c : key)
        if (!IsKeyCharacter(c)) return L"a key holds only letters, digits, marks and \"-_./\"";
    return nullptr;
}

const wchar_t* COutsideValue::QuotedRefusal(std::wstring_view text, std::wstring_view quotes) noexcept {
    if (HasControl(text)) return L"it holds a control character";
    return text.find_first_of(quotes) == std::wstring_view::npos ? nullptr : L"it holds a quote";
}

const wchar_t* COutsideValue::ReleaseRefusal(std::wstring_view release) noexcept {
    for (const wchar_t c : release)
        if (!IsReleaseCharacter(c)) return L"a release holds only letters, digits, marks and \"-_.\"";
    return nullptr;
}

bool COutsideValue::AcceptPath(const wchar_t* operation, const std::wstring& path) {
    return path.empty() || Path(operation, path).has_value();
}

std::optional<CCheckedPath> COutsideValue::Path(const wchar_t* operation, const std::wstring& path) {
    if (Refused(operation, L"path", path, AbsolutePathRefusal(path))) return std::nullopt;
    return CCheckedPath(path);
}

std::optional<COwnFileName> COutsideValue::OwnFileName(const wchar_t* operation, const std::wstring& path) {
    if (Refused(operation, L"path", path, FileNameRefusal(path))) return std::nullopt;
    return COwnFileName(FileName(path));
}

std::optional<CQelKey> COutsideValue::Key(const wchar_t* operation, const std::wstring& key) {
    if (Refused(operation, L"QELKEY", key, KeyRefusal(key))) return std::nullopt;
    return CQelKey(key);
}

std::optional<CQuotedText> COutsideValue::Quoted(const wchar_t* operation, const std::wstring& text,
                                                 std::wstring_view quotes) {
    if (Refused(operation, L"value", text, QuotedRefusal(text, quotes))) return std::nullopt;
    return CQuotedText(text);
}

bool COutsideValue::AcceptRelease(const wchar_t* operation, const std::wstring& release) {
    return !Refused(operation, L"release", release, ReleaseRefusal(release));
}
