#include "CTextFileRead.h"
#include "NoImpersonation.h"
#include "Cesu8.h"
#include <emmintrin.h>
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

// The system code page's conversion of each byte, and the CESU-8 form of that (its first
// byte lowest) with its length.
struct AnsiTable {
    std::array<wchar_t, 256> chars;
    std::array<uint32_t, 256> forms;
    std::array<uint8_t, 256> lengths;

    // Writes the byte's form as four bytes; the next form starts where this one ends.
    uint8_t* Put(uint8_t b, uint8_t* out) const noexcept {
        std::memcpy(out, &forms[b], sizeof forms[b]);
        return out + lengths[b];
    }
};

// The system code page as a table of its conversions, when it turns each byte into one
// character of its own (not so in the double-byte code pages); a call per line costs more
// than reading the line. The code page is fixed for the life of the process.
const AnsiTable* SingleByteAnsiTable() {
    static const std::optional<AnsiTable> table = []() -> std::optional<AnsiTable> {
        CPINFO info{};
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return std::nullopt;
        std::array<char, 256> bytes{};
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
        AnsiTable ansi{};
        if (MultiByteToWideChar(CP_ACP, 0, bytes.data(), 256, ansi.chars.data(), 256) != 256) return std::nullopt;
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::array<uint8_t, 4> form{};
            ansi.lengths[i] = static_cast<uint8_t>(Cesu8::EncodeUnit(ansi.chars[i], form.data()) - form.data());
            std::memcpy(&ansi.forms[i], form.data(), sizeof ansi.forms[i]);
        }
        return ansi;
    }();
    return table ? &*table : nullptr;
}

// Where ReadLineUnits puts a line: its units as they are (wide lines, ANSI bytes)...
template <class Unit>
struct UnitSink {
    Unit* at;
    void Put(Unit c) noexcept { *at++ = c; }
    void Terminate() noexcept { *at = 0; }
};

// ...or as CESU-8, ANSI bytes through the code page's table.
struct Cesu8Sink {
    uint8_t* at;
    const AnsiTable* table;
    void Put(wchar_t c) noexcept { at = Cesu8::EncodeUnit(c, at); }
    void Put(uint8_t b) noexcept { at = table->Put(b, at); }
    void Terminate() noexcept { *at = 0; }
};

constexpr bool IsContinuation(uint8_t b) noexcept { return (b & 0xC0) == 0x80; }

// The bytes of a UTF-8 form at in that are their own CESU-8 form (well-formed, below
// U+10000), copied to out; 0 when the form is another, which the decoder then handles.
int32_t CopyUtf8Form(const uint8_t* in, int32_t available, uint8_t*& out) noexcept {
    const uint8_t b0 = in[0];
    int32_t length = 0;
    if (b0 >= 0xC2 && b0 < 0xE0 && available >= 2 && IsContinuation(in[1]))
        length = 2;
    else if (b0 >= 0xE0 && b0 < 0xF0 && available >= 3 && IsContinuation(in[1]) && IsContinuation(in[2]) &&
             (b0 != 0xE0 || in[1] >= 0xA0))
        length = 3;
    for (int32_t i = 0; i < length; ++i) *out++ = in[i];
    return length;
}

// The bits set in a chunk's mask; std::popcount would be a library call on processors
// without the instruction.
constexpr int32_t CountBits(unsigned mask) noexcept {
    mask -= mask >> 1 & 0x5555u;
    mask = (mask & 0x3333u) + (mask >> 2 & 0x3333u);
    mask = (mask + (mask >> 4)) & 0x0F0Fu;
    return static_cast<int32_t>((mask + (mask >> 8)) & 0x1Fu);
}

// What a sixteen-byte chunk gave: bytes read and units delivered.
struct ChunkTaken {
    int32_t bytes;
    int32_t units;
};
constexpr int32_t ChunkBytes = sizeof(__m128i);

__m128i LoadChunk(const uint8_t* in) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)); }
void StoreChunk(uint8_t* out, __m128i chunk) noexcept { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk); }
unsigned Mask(__m128i bytes) noexcept { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }
__m128i Bytes(int b) noexcept { return _mm_set1_epi8(static_cast<char>(b)); }

// Bytes below 0x0E (as signed bytes, those from 0x80 up are below too): CR, LF and the
// other controls, which end a chunk's quick road.
unsigned Controls(__m128i bytes) noexcept { return Mask(_mm_cmplt_epi8(bytes, Bytes(0x0E))) & ~Mask(bytes); }

// Bytes as they are up to the first control (ANSI lines before conversion).
ChunkTaken TakeVerbatimChunk(const uint8_t* in, uint8_t*& out) noexcept {
    const __m128i bytes = LoadChunk(in);
    StoreChunk(out, bytes);
    const int32_t plain = std::countr_zero(Controls(bytes) | 1u << ChunkBytes);
    out += plain;
    return {plain, plain};
}

// UTF-8 up to the first control or the first form that is not its own CESU-8 form (see
// CopyUtf8Form; a lead E0 is left to it too), never splitting a form.
ChunkTaken TakeUtf8Chunk(const uint8_t* in, uint8_t*& out) noexcept {
    const __m128i bytes = LoadChunk(in);
    StoreChunk(out, bytes);
    const unsigned high = Mask(bytes), controls = Controls(bytes);
    if ((high | controls) == 0) {
        out += ChunkBytes;
        return {ChunkBytes, ChunkBytes};
    }
    // As signed bytes: continuations 80-BF below -64, leads C2-DF from -62 to -33, E1-EF from -31 to -17.
    const unsigned continuations = Mask(_mm_cmplt_epi8(bytes, Bytes(0xC0)));
    const unsigned leads2 = Mask(_mm_and_si128(_mm_cmpgt_epi8(bytes, Bytes(0xC1)), _mm_cmplt_epi8(bytes, Bytes(0xE0))));
    const unsigned leads3 = Mask(_mm_and_si128(_mm_cmpgt_epi8(bytes, Bytes(0xE0)), _mm_cmplt_epi8(bytes, Bytes(0xF0))));
    const unsigned others = high & ~(continuations | leads2 | leads3);
    const unsigned expected = leads2 << 1 | leads3 << 1 | leads3 << 2;
    const unsigned stops = controls | others | ((continuations ^ expected) & 0xFFFFu) | 1u << ChunkBytes;
    int32_t plain = std::countr_zero(stops);
    // A form cut short, or running past the chunk, is left whole to the next step.
    if (expected >> plain & 1u) plain -= ((leads2 | leads3) >> (plain - 1) & 1u) ? 1 : 2;
    out += plain;
    return {plain, plain - CountBits(continuations & ((1u << plain) - 1))};
}

// ANSI bytes as CESU-8 through the code page's table, up to the first control.
ChunkTaken TakeAnsiChunk(const uint8_t* in, uint8_t*& out, const AnsiTable& table) noexcept {
    const __m128i bytes = LoadChunk(in);
    const int32_t plain = std::countr_zero(Controls(bytes) | 1u << ChunkBytes);
    if ((Mask(bytes) & ((1u << plain) - 1)) == 0) {
        StoreChunk(out, bytes);
        out += plain;
    } else {
        for (int32_t i = 0; i < plain; ++i) out = table.Put(in[i], out);
    }
    return {plain, plain};
}

// Eight UTF-16 units as CESU-8 up to the first control.
template <bool BigEndian>
ChunkTaken TakeUtf16Chunk(const uint8_t* in, uint8_t*& out) noexcept {
    __m128i units = LoadChunk(in);
    if (BigEndian) units = _mm_or_si128(_mm_slli_epi16(units, 8), _mm_srli_epi16(units, 8));
    const __m128i controls = _mm_cmplt_epi16(units, _mm_set1_epi16(0x0E));
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
    // Two mask bits per unit; as signed units, those from 0x8000 up count as controls, so
    // they are taken out again.
    const unsigned stops = (Mask(_mm_and_si128(controls, ascii)) & 0xFFFFu) | 1u << ChunkBytes;
    const int32_t plain = std::countr_zero(stops) / 2;
    if ((~Mask(ascii) & ((1u << 2 * plain) - 1)) == 0) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
        out += plain;
    } else {
        alignas(16) std::array<uint16_t, 8> chars;
        _mm_store_si128(reinterpret_cast<__m128i*>(chars.data()), units);
        for (int32_t i = 0; i < plain; ++i) out = Cesu8::EncodeUnit(static_cast<wchar_t>(chars[i]), out);
    }
    return {2 * plain, plain};
}

}  // namespace

void CTextFileRead::Open(const CCheckedPath& path) {
    Close();
    m_encoding = Ansi;
    m_file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | kNoImpersonation,
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

// Inlined: every line ends with a few units read through it.
[[gnu::always_inline]] inline bool CTextFileRead::DecodeUtf8(wchar_t& c) {
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
// Bytes: chunk takes sixteen at a time as far as it can; high takes any single byte from
// 0x80 up (answers the bytes it took, 0 to leave it to read).
template <class Chunk, class High>
int32_t CTextFileRead::TakePlainBytes(uint8_t*& out, int32_t max, Chunk chunk, High high) noexcept {
    const uint8_t* const block = m_block.get();
    int32_t at = m_position + 1;
    int32_t taken = 0;
    while (taken < max && at < m_blockSize) {
        if (taken + ChunkBytes <= max && at + ChunkBytes <= m_blockSize) {
            const ChunkTaken got = chunk(block + at, out);
            at += got.bytes;
            taken += got.units;
            if (got.bytes == ChunkBytes) continue;
        }
        const uint8_t b = block[at];
        if (b == 0x0D || b == 0x0A) break;
        int32_t length = 1;
        if (b < 0x80)
            *out++ = b;
        else if ((length = high(block + at, m_blockSize - at, out)) == 0)
            break;
        at += length;
        ++taken;
    }
    m_position = at - 1;
    return taken;
}

// UTF-8 decoded as DecodeUtf8 does, sequences wholly inside the block only.
int32_t CTextFileRead::TakePlainUtf8(wchar_t*& out, int32_t max) noexcept {
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
    out += taken;
    return taken;
}

template <bool BigEndian>
int32_t CTextFileRead::TakePlainUtf16(wchar_t*& out, int32_t max) noexcept {
    const uint8_t* next = m_block.get() + m_position + 1;
    const int32_t available = std::min(max, (m_blockSize - m_position - 1) / 2);
    int32_t taken = 0;
    for (; taken < available; ++taken, next += 2) {
        const auto c = BigEndian ? static_cast<wchar_t>(next[0] << 8 | next[1]) : static_cast<wchar_t>(next[1] << 8 | next[0]);
        if (c == 0x0D || c == 0x0A) break;
        *out++ = c;
    }
    m_position += 2 * taken;
    return taken;
}

// The same units as TakePlainUtf16, as CESU-8, eight at a time as far as they go.
template <bool BigEndian>
int32_t CTextFileRead::TakePlainUtf16Cesu8(uint8_t*& out, int32_t max) noexcept {
    constexpr int32_t Units = ChunkBytes / 2;
    const uint8_t* const block = m_block.get();
    int32_t at = m_position + 1;
    int32_t taken = 0;
    while (taken < max && at + 1 < m_blockSize) {
        if (taken + Units <= max && at + ChunkBytes <= m_blockSize) {
            const ChunkTaken got = TakeUtf16Chunk<BigEndian>(block + at, out);
            at += got.bytes;
            taken += got.units;
            if (got.units == Units) continue;
        }
        const uint8_t* next = block + at;
        const auto c = BigEndian ? static_cast<wchar_t>(next[0] << 8 | next[1]) : static_cast<wchar_t>(next[1] << 8 | next[0]);
        if (c == 0x0D || c == 0x0A) break;
        out = Cesu8::EncodeUnit(c, out);
        at += 2;
        ++taken;
    }
    m_position = at - 1;
    return taken;
}

// The line rule, shared by bytes (ANSI) and characters. CR LF, LF and a lone CR end a line;
// the break right after a delivered line is skipped, so an empty line that directly follows
// a line is not delivered. The unit that ends or overflows a line is pushed back, so only
// the first read of a line has to look for it (and for a byte order mark still to skip).
// At most limit units go to the sink, then its terminator.
template <class Unit, class Sink, class ReadUnit, class TakePlain>
int32_t CTextFileRead::ReadLineUnits(Sink& sink, int32_t limit, Unit& pushed, ReadUnit read, TakePlain takePlain) {
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
            sink.Put(c);
            ++stored;
            stored += takePlain(sink.at, limit - stored);
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
    sink.Terminate();
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
    UnitSink<wchar_t> sink{buffer};
    switch (m_encoding) {
    case Utf8:
        return ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf8(c); },
            [this](wchar_t*& out, int32_t max) { return TakePlainUtf8(out, max); });
    case Utf16BigEndian:
        return ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf16<true>(c); },
            [this](wchar_t*& out, int32_t max) { return TakePlainUtf16<true>(out, max); });
    case Utf16LittleEndian:
        return ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf16<false>(c); },
            [this](wchar_t*& out, int32_t max) { return TakePlainUtf16<false>(out, max); });
    case Ansi:
        break;
    }
    return ReadAnsiLine(buffer, size) >= 0;
}

// An ANSI line into buffer, terminated; answers its length in characters, -1 for no line.
int32_t CTextFileRead::ReadAnsiLine(wchar_t* buffer, int32_t size) {
    if (size < MinAnsiLineSize) return -1;
    if (m_lineBytes.size() < static_cast<size_t>(size)) m_lineBytes.resize(size);
    auto* bytes = reinterpret_cast<uint8_t*>(m_lineBytes.data());
    UnitSink<uint8_t> sink{bytes};
    const int32_t stored = ReadLineUnits(
        sink, size - 1, m_pushedByte, [this](uint8_t& b) { return ReadByte(b); },
        [this](uint8_t*& out, int32_t max) {
            return TakePlainBytes(out, max, TakeVerbatimChunk, [](const uint8_t* in, int32_t, uint8_t*& to) {
                *to++ = *in;
                return 1;
            });
        });
    if (stored < 0) return -1;
    // The line and its terminating zero byte: zero bytes beyond it would only give zeros.
    if (const AnsiTable* table = SingleByteAnsiTable()) {
        for (int32_t i = 0; i <= stored; ++i) buffer[i] = table->chars[bytes[i]];
        return stored;
    }
    // Every ANSI code page maps the bytes below 0x80 to the same characters.
    uint8_t high = 0;
    for (int32_t i = 0; i < stored; ++i) high |= bytes[i];
    if (high < 0x80) {
        std::copy_n(bytes, stored + 1, buffer);
        return stored;
    }
    return std::max(0, MultiByteToWideChar(CP_ACP, 0, m_lineBytes.data(), stored + 1, buffer, size) - 1);
}

bool CTextFileRead::ReadLineCesu8(std::string_view& line, int32_t size) {
    line = {};
    if (m_endOfFile || size <= 0) return false;
    const AnsiTable* table = SingleByteAnsiTable();
    if (m_encoding == Ansi && !table) {
        // A double-byte code page converts whole lines.
        if (m_wideLine.size() < static_cast<size_t>(size)) m_wideLine.resize(size);
        const int32_t length = ReadAnsiLine(m_wideLine.data(), size);
        if (length < 0) return false;
        const size_t room = Cesu8::MaxUnitBytes * length + ReadableBeyondLine;
        if (m_lineText.size() < room) m_lineText.resize(room);
        const uint8_t* end = Cesu8::Encode(std::wstring_view(m_wideLine.data(), length), m_lineText.data());
        line = {reinterpret_cast<const char*>(m_lineText.data()), static_cast<size_t>(end - m_lineText.data())};
        return true;
    }
    // Every unit takes at most three bytes.
    const size_t room = Cesu8::MaxUnitBytes * size + ReadableBeyondLine;
    if (m_lineText.size() < room) m_lineText.resize(room);
    Cesu8Sink sink{m_lineText.data(), table};
    bool read = false;
    switch (m_encoding) {
    case Utf8:
        read = ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf8(c); },
            [this](uint8_t*& out, int32_t max) { return TakePlainBytes(out, max, TakeUtf8Chunk, CopyUtf8Form); });
        break;
    case Utf16BigEndian:
        read = ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf16<true>(c); },
            [this](uint8_t*& out, int32_t max) { return TakePlainUtf16Cesu8<true>(out, max); });
        break;
    case Utf16LittleEndian:
        read = ReadCharLine(
            sink, size, [this](wchar_t& c) { return DecodeUtf16<false>(c); },
            [this](uint8_t*& out, int32_t max) { return TakePlainUtf16Cesu8<false>(out, max); });
        break;
    case Ansi:
        read = size >= MinAnsiLineSize &&
               ReadLineUnits(
                   sink, size - 1, m_pushedByte, [this](uint8_t& b) { return ReadByte(b); },
                   [this, table](uint8_t*& out, int32_t max) {
                       return TakePlainBytes(
                           out, max,
                           [table](const uint8_t* in, uint8_t*& to) { return TakeAnsiChunk(in, to, *table); },
                           [table](const uint8_t* in, int32_t, uint8_t*& to) {
                               to = table->Put(*in, to);
                               return 1;
                           });
                   }) >= 0;
        break;
    }
    if (!read) return false;
    line = {reinterpret_cast<const char*>(m_lineText.data()), static_cast<size_t>(sink.at - m_lineText.data())};
    return true;
}

template <class Sink, class Decode, class TakePlain>
bool CTextFileRead::ReadCharLine(Sink& sink, int32_t size, Decode decode, TakePlain takePlain) {
    if (size < MinCharLineSize) return false;
    if (!DropPendingMark()) return false;
    return ReadLineUnits(sink, size - 3, m_pushedChar, decode, takePlain) >= 0;
}
