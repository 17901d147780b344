#pragma once
#include <string>
#include <string_view>

// Byte images of wide text in the encodings a text file may use, for writing test files.
namespace TextBytes {

inline constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view Utf16LeMark = "\xFF\xFE";
inline constexpr std::string_view Utf16BeMark = "\xFE\xFF";

std::string Utf8(std::wstring_view text);
std::string Utf16Le(std::wstring_view text);
std::string Utf16Be(std::wstring_view text);
// What the system ANSI code page makes of bytes.
std::wstring FromAnsi(std::string_view bytes);

}  // namespace TextBytes
