#include "CAbsolutePath.h"
#include "CLog.h"

namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

bool CAbsolutePath::IsAbsolute(std::wstring_view path) noexcept {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
    if (path.size() < 5 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) return false;
    // "\\server\share": a server name, a separator, and a share name after it.
    size_t at = 2;
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    return at + 1 < path.size() && !IsSeparator(path[at + 1]);
}

bool CAbsolutePath::Accept(const wchar_t* operation, const std::wstring& path) {
    if (IsAbsolute(path)) return true;
    CLog::Instance().Write(CLog::LevelError, L"%s: Refused path '%s': not an absolute path", operation, path);
    return false;
}
