#include "COutsideValue.h"
#include "CLog.h"

namespace {

bool IsControl(wchar_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The blanks a key may carry from a pasted or imported value, beyond the ASCII one.
bool IsBlank(wchar_t c) noexcept {
    return c == L' ' || c == 0x00A0 || (c >= 0x2000 && c <= 0x200A) || c == 0x3000 || c == 0xFEFF;
}

// True when nothing refuses the value; otherwise an Error entry with the reason.
bool Accepted(const wchar_t* operation, const wchar_t* what, const std::wstring& value, const wchar_t* refusal) {
    if (!refusal) return true;
    CLog::Instance().Write(CLog::LevelError, L"%s: Refused %s '%s': %s", operation, what, value, refusal);
    return false;
}

}  // namespace

bool COutsideValue::HasControl(std::wstring_view value) noexcept {
    for (const wchar_t c : value)
        if (IsControl(c)) return true;
    return false;
}

bool COutsideValue::IsAbsolute(std::wstring_view path) noexcept {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
    if (path.size() < 5 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) return false;
    // "\\server\share": a server name, a separator, and a share name after it.
    size_t at = 2;
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    return at + 1 < path.size() && !IsSeparator(path[at + 1]);
}

std::wstring COutsideValue::FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

const wchar_t* COutsideValue::PathRefusal(std::wstring_view path) noexcept {
    return HasControl(path) ? L"it holds a control character" : nullptr;
}

const wchar_t* COutsideValue::AbsolutePathRefusal(std::wstring_view path) noexcept {
    if (const wchar_t* refusal = PathRefusal(path)) return refusal;
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
    for (size_t i = 0; i < key.size(); ++i) {
        const wchar_t c = key[i];
        const bool opener = (c == L'#' || c == L'$' || c == L'@') && i + 1 < key.size() && key[i + 1] == L'(';
        if (IsBlank(c) || c == L'"' || c == L'\'' || c == L'|' || IsControl(c) || opener)
            return L"a key holds no blank, control character, quote, \"|\" or expression";
    }
    return nullptr;
}

bool COutsideValue::AcceptPath(const wchar_t* operation, const std::wstring& path) {
    return Accepted(operation, L"path", path, PathRefusal(path));
}

bool COutsideValue::AcceptAbsolutePath(const wchar_t* operation, const std::wstring& path) {
    return Accepted(operation, L"path", path, AbsolutePathRefusal(path));
}

bool COutsideValue::AcceptFileName(const wchar_t* operation, const std::wstring& path) {
    return Accepted(operation, L"path", path, FileNameRefusal(path));
}

bool COutsideValue::AcceptKey(const wchar_t* operation, const std::wstring& key) {
    return Accepted(operation, L"QELKEY", key, KeyRefusal(key));
}
