#include "CKeyCheck.h"
#include "CUtils.h"

namespace {

bool IsControl(wchar_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsSound(const std::wstring& key) noexcept {
    for (size_t i = 0; i < key.size(); ++i) {
        const wchar_t c = key[i];
        if (c == L' ' || c == L'"' || c == L'\'' || c == L'|' || IsControl(c)) return false;
        if ((c == L'#' || c == L'$' || c == L'@') && i + 1 < key.size() && key[i + 1] == L'(') return false;
    }
    return true;
}

}  // namespace

bool CKeyCheck::Accept(const wchar_t* operation, const std::wstring& key) {
    if (IsSound(key)) return true;
    CUtils::Instance().WriteLog(CUtils::LevelError,
                                L"%s: Refused QELKEY '%s': a key holds no blank, control character, quote, \"|\" or "
                                L"expression",
                                operation, key);
    return false;
}
