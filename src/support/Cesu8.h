#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Text kept as CESU-8: each UTF-16 unit on its own as its one-to-three-byte UTF-8 form, so the
// bytes follow the order of the units and unpaired surrogates survive. ASCII stays as it is,
// and so does well-formed UTF-8 of characters below U+10000: files read in that encoding
// can be kept without a conversion.
namespace Cesu8 {

// The longest form of one unit.
inline constexpr size_t MaxUnitBytes = 3;

inline uint8_t* EncodeUnit(wchar_t c, uint8_t* out) noexcept {
    if (c < 0x80) [[likely]] {
        *out++ = static_cast<uint8_t>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<uint8_t>(0xC0 | c >> 6);
        *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<uint8_t>(0xE0 | c >> 12);
        *out++ = static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    }
    return out;
}

// Writes at most MaxUnitBytes per unit of text; answers the end of what it wrote.
uint8_t* Encode(std::wstring_view text, uint8_t* out) noexcept;
std::string Encoded(std::wstring_view text);
// Bytes that Encode produced.
std::wstring Decode(std::string_view bytes);

}  // namespace Cesu8
