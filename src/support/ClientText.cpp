#include "ClientText.h"
#include <windows.h>
#include <climits>

namespace ClientText {

long ToInteger(const std::wstring& text) noexcept {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(LONG_MAX) + 1) value = static_cast<long long>(LONG_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > LONG_MAX) value = LONG_MAX;
    return static_cast<long>(value);
}

bool IsTrue(const std::wstring& text) noexcept { return text == L"TRUE"; }

std::wstring ToUpper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace ClientText
