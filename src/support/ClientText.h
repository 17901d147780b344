#pragma once
#include <string>
#include <string_view>

// Conversions of the client's text answers shared by every reader of client values.
namespace ClientText {

// Leading blanks skipped, an optional sign, then decimal digits up to the first other
// character; no digits give 0. Values beyond 32 bits are clamped.
long ToInteger(std::wstring_view text) noexcept;

// True exactly for the text "TRUE" (case-sensitive).
bool IsTrue(const std::wstring& text) noexcept;

// Upper case by the invariant rules, as command names are compared.
std::wstring ToUpper(std::wstring text);

}  // namespace ClientText
