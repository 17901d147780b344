#include "ClientText.h"
#include <windows.h>
#include <climits>

namespace ClientText {

long ToInteger(std::wstring_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    // The magnitude stays within 32 bits: it stops growing at LONG_MAX + 1, the most negative.
    constexpr unsigned long kLimit = static_cast<unsigned long>(LONG_MAX) + 1;
    unsigned long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const unsigned long digit = text[i] - L'0';
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    if (negative) return value == kLimit ? LONG_MIN : -static_cast<long>(value);
    return value >= kLimit ? LONG_MAX : static_cast<long>(value);
}

bool IsTrue(const std::wstring& text) noexcept { return text == L"TRUE"; }

std::wstring ToUpper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace ClientText
