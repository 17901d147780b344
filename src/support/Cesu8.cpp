#include "Cesu8.h"

namespace Cesu8 {

uint8_t* Encode(std::wstring_view text, uint8_t* out) noexcept {
    for (const wchar_t c : text) out = EncodeUnit(c, out);
    return out;
}

std::string Encoded(std::wstring_view text) {
    std::string bytes(MaxUnitBytes * text.size(), '\0');
    auto* begin = reinterpret_cast<uint8_t*>(bytes.data());
    bytes.resize(static_cast<size_t>(Encode(text, begin) - begin));
    return bytes;
}

std::wstring Decode(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    wchar_t* out = text.data();
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    for (const uint8_t* end = in + bytes.size(); in < end;) {
        const uint8_t b = *in++;
        if (b < 0x80) {
            *out++ = b;
        } else if (b < 0xE0) {
            *out++ = static_cast<wchar_t>((b & 0x1F) << 6 | (in[0] & 0x3F));
            in += 1;
        } else {
            *out++ = static_cast<wchar_t>((b & 0x0F) << 12 | (in[0] & 0x3F) << 6 | (in[1] & 0x3F));
            in += 2;
        }
    }
    text.resize(static_cast<size_t>(out - text.data()));
    return text;
}

}  // namespace Cesu8
