#include "CIniFile.h"
#include "CTextFileRead.h"
#include "Cesu8.h"
#include "CUtils.h"
#include "ClientText.h"
#include <emmintrin.h>
#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <string_view>

namespace {

constexpr int32_t LineChars = 1000;

constexpr std::string_view SuperKey = "SUPER";

// ClientText::ToUpper for each ASCII character, NotAscii where it gives another: names and
// keys are nearly always ASCII, and a call per line costs more than reading the line.
constexpr char NotAscii = '\xFF';
const std::array<char, 128>& AsciiUpperCase() {
    static const std::array<char, 128> table = [] {
        std::wstring ascii(128, L'\0');
        for (size_t c = 0; c < ascii.size(); ++c) ascii[c] = static_cast<wchar_t>(c);
        const std::wstring upper = ClientText::ToUpper(ascii);
        std::array<char, 128> chars{};
        for (size_t c = 0; c < chars.size(); ++c) chars[c] = upper[c] < 0x80 ? static_cast<char>(upper[c]) : NotAscii;
        return chars;
    }();
    return table;
}

// The text (CESU-8) in upper case.
std::string ToUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        const auto b = static_cast<uint8_t>(c);
        if (b >= 0x80 || AsciiUpperCase()[b] == NotAscii)
            return Cesu8::Encoded(ClientText::ToUpper(Cesu8::Decode(text)));
        c = AsciiUpperCase()[b];
    }
    return upper;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

bool IsSuperKey(std::string_view key) {
    // Upper-casing keeps the number of units, so only keys of five units can match: five
    // ASCII bytes, or up to fifteen bytes when some are not ASCII.
    if (key.size() < SuperKey.size() || key.size() > Cesu8::MaxUnitBytes * SuperKey.size()) return false;
    if (key.size() > SuperKey.size() && IsAscii(key)) return false;
    return ToUpper(key) == SuperKey;
}

// The line as far as a C string of it would reach (up to its first NUL), and where the
// first "=" in that is. Sixteen bytes a step: the reader lets a block beyond the line be read.
std::string_view ScanLine(std::string_view line, size_t& equals) {
    static_assert(CTextFileRead::ReadableBeyondLine >= sizeof(__m128i));
    const __m128i zero = _mm_setzero_si128(), equalsSign = _mm_set1_epi8('=');
    equals = std::string_view::npos;
    for (size_t at = 0; at < line.size(); at += sizeof(__m128i)) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + at));
        const size_t inLine = std::min(line.size() - at, sizeof(__m128i));
        const unsigned mask = inLine == sizeof(__m128i) ? 0xFFFFu : (1u << inLine) - 1;
        const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero))) & mask;
        const unsigned signs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, equalsSign))) & mask;
        const unsigned end = zeros == 0 ? 32u : static_cast<unsigned>(std::countr_zero(zeros));
        if (equals == std::string_view::npos && signs != 0 && static_cast<unsigned>(std::countr_zero(signs)) < end)
            equals = at + std::countr_zero(signs);
        if (zeros != 0) return line.substr(0, at + end);
    }
    return line;
}

// Adds the file's sections to sections; false when it held no section line.
bool ReadSections(CTextFileRead& reader, CIniSection& sections) {
    bool sectionRead = false;
    std::string_view line;
    // Reading answers false exactly when the reader has reached the end of the file.
    while (reader.ReadLineCesu8(line, LineChars)) {
        size_t equals = 0;
        const std::string_view text = ScanLine(line, equals);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            const std::string_view inside = text.substr(1);
            sections.BeginSection(ToUpper(inside.substr(0, inside.rfind(']'))));
            sectionRead = true;
            continue;
        }
        // Key lines before this file's first section line belong to no section.
        if (!sectionRead || equals == std::string_view::npos) continue;
        const std::string_view key = text.substr(0, equals);
        sections.SetEntry(IsSuperKey(key) ? SuperKey : key, text.substr(equals + 1));
    }
    sections.EndLoading();
    return sectionRead;
}

}  // namespace

bool CIniFile::Load(const CCheckedPath& path) {
    try {
        m_fileName = path.str();
        CTextFileRead reader;
        reader.Open(path);
        if (!reader.IsOpen()) {
            m_status = StatusOpenFailed;
            return false;
        }
        // Read into a copy, taken over only once the whole file is in: a load that runs out
        // of memory on the way leaves the sections of earlier loads as they were.
        CIniSection sections(m_sections);
        const bool sectionRead = ReadSections(reader, sections);
        m_sections = std::move(sections);
        m_status = sectionRead ? StatusLoaded : StatusNoSection;
    } catch (const std::bad_alloc&) {
        // What the failed load took is already freed: the client's process carries on.
        m_status = StatusOutOfMemory;
        CUtils::Instance().WriteLog(CUtils::LevelError, L"CIniFile::Load: %s is too large to load (hr = %X)", path.str(),
                                    E_OUTOFMEMORY);
    }
    return m_status == StatusLoaded;
}

bool CIniFile::FindSection(std::wstring_view name, uint32_t& section) const {
    return m_sections.FindSection(ClientText::ToUpper(std::wstring(name)), section);
}

bool CIniFile::GetSection(const std::wstring& name, IniEntries& out) const {
    uint32_t section = 0;
    if (!FindSection(name, section)) return false;
    m_sections.CopyEntriesInto(section, out);
    // One level only: the base section's own "SUPER" is copied but not followed.
    std::wstring super;
    uint32_t base = 0;
    if (m_sections.FindEntry(section, SuperKey, super) && FindSection(super, base))
        m_sections.CopyEntriesInto(base, out);
    return !out.empty();
}

bool CIniFile::HasEntries() const {
    // GetSection only ever adds the base's entries to the section's own, and a "SUPER" to
    // follow is an entry itself: a section yields entries exactly when it has one. Asking
    // that spares building a copy of each section.
    return m_sections.HasEntries();
}
