#include "CTextFileRead.h"
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

namespace {

constexpr int ForwardUnicodeTests = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS |
                                    IS_TEXT_UNICODE_CONTROLS | IS_TEXT_UNICODE_SIGNATURE;
constexpr int ReverseUnicodeTests =
    IS_TEXT_UNICODE_REVERSE_ASCII16 | IS_TEXT_UNICODE_REVERSE_STATISTICS |
    IS_TEXT_UNICODE_REVERSE_CONTROLS | IS_TEXT_UNICODE_REVERSE_SIGNATURE;

// Below these sizes a line could not take a single unit, so a reader loop would never advance.
constexpr int32_t MinAnsiLineSize = 2;
constexpr int32_t MinCharLineSize = 4;

// True when none of the four bytes has its top bit set or is a CR or an LF.
constexpr bool IsFourPlainAscii(uint32_t four) noexcept {
    constexpr uint32_t Ones = 0x01010101u, Tops = 0x80808080u;
    const auto hasZeroByte = [](uint32_t v) { return ((v - Ones) & ~v & Tops) != 0; };
    return (four & Tops) == 0 && !hasZeroByte(four ^ 0x0D0D0D0Du) && !hasZeroByte(four ^ 0x0A0A0A0Au);
}

using AnsiTable = std::array<wchar_t, 256>;

// The system code page as a table of its conversions, when it turns each byte into one
// character of its own (not so in the double-byte code pages); a call per line costs more
// than reading the line. The code page is fixed for the life of the process.
const AnsiTable* SingleByteAnsiTable() {
    static const std::optional<AnsiTable> table = []() -> std::optional<AnsiTable> {
        CPINFO info{};
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return std::nullopt;
        std::array<char, 256> bytes{};
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
        AnsiTable chars{};
        if (MultiByteToWideChar(CP_ACP, 0, bytes.data(), 256, chars.data(), 256) != 256) return std::nullopt;
        return chars;
    }();
    return table ? &*table : nullptr;
}

}  // namespace

void CTextFileRead::Open(const wchar_t* path) {
    Close();
    m_encoding = Ansi;
    m_file.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr));
    m_position = -1;
    m_blockSize = 0;
    m_firstLine = true;
    m_pushedBack = false;
    if (!IsOpen()) return;
    if (!m_block) m_block = std::make_unique_for_overwrite<uint8_t[]>(BlockBytes);
    DetectEncoding();
}

bool CTextFileRead::Close() noexcept {
    if (!IsOpen()) return false;
    m_file.reset();
    m_position = -1;
    m_blockSize = 0;
    m_endOfFile = false;
    m_pushedBack = false;
    m_markLength = 0;
    m_firstLine = true;
    m_markPending = true;
    return true;
}

void CTextFileRead::DetectEncoding() {
    uint8_t b0 = 0, b1 = 0;
    // Fewer than two bytes: the end-of-file flag stays set, so no line is ever delivered.
    if (!ReadByte(b0) || !ReadByte(b1)) return;
    if (b0 == 0xFF && b1 == 0xFE) {
        m_encoding = Utf16LittleEndian;
        m_markLength = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
        m_encoding = Utf16BigEndian;
        m_markLength = 2;
    } else if (b0 == 0xEF && b1 == 0xBB) {
        uint8_t b2 = 0;
        if (!ReadByte(b2)) return;
        if (b2 == 0xBF) {
            m_encoding = Utf8;
            m_markLength = 3;
        }
    } else {
        // Only the tests reported passed count; the function's own verdict is ignored.
        int tests = ForwardUnicodeTests | ReverseUnicodeTests;
        IsTextUnicode(m_block.get(), std::min(m_blockSize, DetectionBytes), &tests);
        if (tests & ForwardUnicodeTests)
            m_encoding = Utf16LittleEndian;
        else if (tests & ReverseUnicodeTests)
            m_encoding = Utf16BigEndian;
    }
    Rewind();
}

void CTextFileRead::Rewind() noexcept {
    LARGE_INTEGER start{};
    SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN);
    m_position = -1;
    m_blockSize = 0;
    m_endOfFile = false;
    m_firstLine = true;
    m_pushedBack = false;
}

bool CTextFileRead::ReadByte(uint8_t& b) {
    // Inside a loaded block; position -1 always has block size 0, so it never lands here.
    if (m_position + 1 < m_blockSize) [[likely]] {
        b = m_block[++m_position];
        return true;
    }
    return ReadByteAtBlockEdge(b);
}

bool CTextFileRead::ReadByteAtBlockEdge(uint8_t& b) {
    b = 0;
    if (m_position != -1 && m_position != BlockBytes - 1) {
        // A short block was the last one.
        m_endOfFile = true;
        return false;
    }
    // Bytes beyond the block size are never looked at, so the block is not cleared first.
    DWORD read = 0;
    if (!ReadFile(m_file.get(), m_block.get(), BlockBytes, &read, nullptr)) read = 0;
    m_blockSize = static_cast<int32_t>(read);
    if (m_blockSize == 0) {
        m_endOfFile = true;
        return false;
    }
    m_position = 0;
    b = m_block[0];
    return true;
}

template <class Unit>
bool CTextFileRead::TakePushedBack(Unit& unit, Unit pushed) noexcept {
    if (!m_pushedBack) return false;
    m_pushedBack = false;
    unit = pushed;
    return true;
}

bool CTextFileRead::DropPendingMark() {
    if (!m_markPending) return true;
    for (int32_t i = 0; i < m_markLength; ++i) {
        uint8_t dropped = 0;
        if (!ReadByte(dropped)) return false;
    }
    m_markPending = false;
    return true;
}

bool CTextFileRead::DecodeUtf8(wchar_t& c) {
    c = 0;
    uint8_t b0 = 0, b1 = 0, b2 = 0;
    if (!ReadByte(b0)) return false;
    if (b0 < 0x80) [[likely]] {
        c = b0;
        return true;
    }
    // Continuation bytes are taken as they come; only the lead byte is judged.
    switch (std::countl_one(b0)) {
    case 2:
        if (!ReadByte(b1)) return false;
        c = static_cast<wchar_t>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
        return true;
    case 3:
        if (!ReadByte(b1) || !ReadByte(b2)) return false;
        c = static_cast<wchar_t>(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
        return true;
    default:
        c = 0xFFFD;
        return true;
    }
}

template <bool BigEndian>
bool CTextFileRead::DecodeUtf16(wchar_t& c) {
    c = 0;
    uint8_t b0 = 0, b1 = 0;
    if (!ReadByte(b0) || !ReadByte(b1)) return false;
    c = BigEndian ? static_cast<wchar_t>((b0 << 8) | b1) : static_cast<wchar_t>((b1 << 8) | b0);
    return true;
}

// The quick road through the body of a line: copies the units that lie wholly inside the
// current block, decode on their own and are no CR or LF, at most max of them, and stops
// before the first other one, which read then handles (block edges and the rare units).
int32_t CTextFileRead::TakePlainBytes(uint8_t* out, int32_t max) noexcept {
    const uint8_t* next = m_block.get() + m_position + 1;
    const int32_t available = std::min(max, m_blockSize - m_position - 1);
    int32_t taken = 0;
    for (; taken < available; ++taken) {
        const uint8_t b = next[taken];
        if (b == 0x0D || b == 0x0A) break;
        out[taken] = b;
    }
    m_position += taken;
    return taken;
}

// UTF-8 decoded as DecodeUtf8 does, sequences wholly inside the block only.
int32_t CTextFileRead::TakePlainUtf8(wchar_t* out, int32_t max) noexcept {
    const uint8_t* const block = m_block.get();
    int32_t at = m_position + 1;
    int32_t taken = 0;
    // Four ASCII bytes at a time while none of them is a CR or an LF.
    while (taken + 4 <= max && at + 4 <= m_blockSize) {
        uint32_t four;
        std::memcpy(&four, block + at, sizeof four);
        if (!IsFourPlainAscii(four)) break;
        for (int i = 0; i < 4; ++i) out[taken + i] = block[at + i];
        taken += 4;
        at += 4;
    }
    while (taken < max && at < m_blockSize) {
        const uint8_t b0 = block[at];
        wchar_t c = b0;
        int32_t length = 1;
        if (b0 >= 0x80) {
            length = std::countl_one(b0);
            if (length == 2 && at + 1 < m_blockSize)
                c = static_cast<wchar_t>((b0 & 0x1F) << 6 | (block[at + 1] & 0x3F));
            else if (length == 3 && at + 2 < m_blockSize)
                c = static_cast<wchar_t>((b0 & 0x0F) << 12 | (block[at + 1] & 0x3F) << 6 | (block[at + 2] & 0x3F));
            else if (length == 2 || length == 3)
                break;
            else {
                c = 0xFFFD;
                length = 1;
            }
        }
        if (c == 0x0D || c == 0x0A) break;
        out[taken++] = c;
        at += length;
    }
    m_position = at - 1;
    return taken;
}

template <bool BigEndian>
int32_t CTextFileRead::TakePlainUtf16(wchar_t* out, int32_t max) noexcept {
    const uint8_t* next = m_block.get() + m_position + 1;
    const int32_t available = std::min(max, (m_blockSize - m_position - 1) / 2);
    int32_t taken = 0;
    for (; taken < available; ++taken, next += 2) {
        const auto c = BigEndian ? static_cast<wchar_t>(next[0] << 8 | next[1]) : static_cast<wchar_t>(next[1] << 8 | next[0]);
        if (c == 0x0D || c == 0x0A) break;
        out[taken] = c;
    }
    m_position += 2 * taken;
    return taken;
}

// The line rule, shared by bytes (ANSI) and characters. CR LF, LF and a lone CR end a line;
// the break right after a delivered line is skipped, so an empty line that directly follows
// a line is not delivered. The unit that ends or overflows a line is pushed back, so only
// the first read of a line has to look for it (and for a byte order mark still to skip).
template <class Unit, class ReadUnit, class TakePlain>
int32_t CTextFileRead::ReadLineUnits(Unit* out, int32_t limit, Unit& pushed, ReadUnit read, TakePlain takePlain) {
    constexpr Unit CR = 0x0D, LF = 0x0A;
    Unit c{};
    if (!TakePushedBack(c, pushed) && !read(c)) return -1;
    if (m_firstLine) {
        m_firstLine = false;
    } else {
        if (c == CR && !read(c)) return -1;
        if (c == LF && !read(c)) return -1;
    }
    int32_t stored = 0;
    if (c != CR) {
        while (c != LF && !m_endOfFile && stored < limit) {
            out[stored++] = c;
            stored += takePlain(out + stored, limit - stored);
            read(c);
            if (c == CR) break;
        }
    }
    bool complete = c == LF;
    if (c == CR) {
        read(c);
        complete = c == LF;
    }
    if (complete) read(c);
    out[stored] = 0;
    pushed = c;
    m_pushedBack = true;
    return stored;
}

bool CTextFileRead::ReadLine(wchar_t* buffer, int32_t size) {
    if (!buffer || size <= 0) return false;
    std::fill_n(buffer, size, L'\0');
    return ReadLineTerminated(buffer, size);
}

bool CTextFileRead::ReadLineTerminated(wchar_t* buffer, int32_t size) {
    if (!buffer || m_endOfFile) return false;
    switch (m_encoding) {
    case Utf8:
        return ReadCharLine(
            buffer, size, [this](wchar_t& c) { return DecodeUtf8(c); },
            [this](wchar_t* out, int32_t max) { return TakePlainUtf8(out, max); });
    case Utf16BigEndian:
        return ReadCharLine(
            buffer, size, [this](wchar_t& c) { return DecodeUtf16<true>(c); },
            [this](wchar_t* out, int32_t max) { return TakePlainUtf16<true>(out, max); });
    case Utf16LittleEndian:
        return ReadCharLine(
            buffer, size, [this](wchar_t& c) { return DecodeUtf16<false>(c); },
            [this](wchar_t* out, int32_t max) { return TakePlainUtf16<false>(out, max); });
    case Ansi:
        break;
    }
    if (size < MinAnsiLineSize) return false;
    if (m_lineBytes.size() < static_cast<size_t>(size)) m_lineBytes.resize(size);
    auto* bytes = reinterpret_cast<uint8_t*>(m_lineBytes.data());
    const int32_t stored = ReadLineUnits(bytes, size - 1, m_pushedByte, [this](uint8_t& b) { return ReadByte(b); },
                                         [this](uint8_t* out, int32_t max) { return TakePlainBytes(out, max); });
    if (stored < 0) return false;
    // The line and its terminating zero byte: zero bytes beyond it would only give zeros.
    if (const AnsiTable* table = SingleByteAnsiTable()) {
        for (int32_t i = 0; i <= stored; ++i) buffer[i] = (*table)[bytes[i]];
        return true;
    }
    // Every ANSI code page maps the bytes below 0x80 to the same characters.
    uint8_t high = 0;
    for (int32_t i = 0; i < stored; ++i) high |= bytes[i];
    if (high < 0x80)
        std::copy_n(bytes, stored + 1, buffer);
    else
        MultiByteToWideChar(CP_ACP, 0, m_lineBytes.data(), stored + 1, buffer, size);
    return true;
}

template <class Decode, class TakePlain>
bool CTextFileRead::ReadCharLine(wchar_t* buffer, int32_t size, Decode decode, TakePlain takePlain) {
    if (size < MinCharLineSize) return false;
    if (!DropPendingMark()) return false;
    return ReadLineUnits(buffer, size - 3, m_pushedChar, decode, takePlain) >= 0;
}
