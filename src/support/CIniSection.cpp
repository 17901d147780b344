#include "CIniSection.h"
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// A record: key length in bytes (its top bit marks a discarded record), value length in
// bytes, then the key's and the value's bytes. A section's name record has NameMark as its
// value length and the name in the key's place; its entries follow it up to the next name
// record. Locations are block << 16 | offset.
constexpr uint32_t HeaderBytes = 4;
constexpr uint16_t DeadBit = 0x8000;
constexpr uint16_t NameMark = 0xFFFF;
constexpr uint32_t BlockBytes = 0x10000;
// A small file takes little more than its text; a title import section of twenty
// attributes fits the first key index.
constexpr uint32_t FirstBlockBytes = 1024;
constexpr size_t IndexFromEntries = 8;
constexpr size_t FirstIndexSlots = 32;
constexpr size_t FirstNameSlots = 16;

struct Header {
    uint16_t key;
    uint16_t value;
};

Header ReadHeader(const uint8_t* record) noexcept {
    Header header;
    std::memcpy(&header, record, sizeof header);
    return header;
}

void WriteHeader(uint8_t* record, const Header& header) noexcept { std::memcpy(record, &header, sizeof header); }

uint32_t KeyBytes(const Header& header) noexcept { return header.key & ~DeadBit; }
bool IsDead(const Header& header) noexcept { return header.key & DeadBit; }
bool IsName(const Header& header) noexcept { return header.value == NameMark; }
uint32_t RecordBytes(const Header& header) noexcept {
    return HeaderBytes + KeyBytes(header) + (IsName(header) ? 0 : header.value);
}

// Each UTF-16 unit on its own as one to three bytes: the byte order of the result is the
// order of the units, and unpaired surrogates survive.
uint8_t* Encode(std::wstring_view text, uint8_t* out) noexcept {
    const wchar_t* in = text.data();
    const wchar_t* const end = in + text.size();
    while (in < end) {
        const wchar_t c = *in++;
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
    }
    return out;
}

// The stored form of a text to look up.
std::vector<uint8_t> Encoded(std::wstring_view text) {
    std::vector<uint8_t> bytes(3 * text.size());
    bytes.resize(static_cast<size_t>(Encode(text, bytes.data()) - bytes.data()));
    return bytes;
}

std::wstring Decode(const uint8_t* bytes, uint32_t size) {
    std::wstring text(size, L'\0');
    wchar_t* out = text.data();
    for (const uint8_t* end = bytes + size; bytes < end;) {
        const uint8_t b = *bytes++;
        if (b < 0x80) {
            *out++ = b;
        } else if (b < 0xE0) {
            *out++ = static_cast<wchar_t>((b & 0x1F) << 6 | (bytes[0] & 0x3F));
            bytes += 1;
        } else {
            *out++ = static_cast<wchar_t>((b & 0x0F) << 12 | (bytes[0] & 0x3F) << 6 | (bytes[1] & 0x3F));
            bytes += 2;
        }
    }
    text.resize(static_cast<size_t>(out - text.data()));
    return text;
}

uint32_t Hash(const uint8_t* bytes, uint32_t size) noexcept {
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// Room for count + 1 at most three quarters full, so that probes stay short; 0 when the
// table has it already.
size_t SlotsFor(size_t count, size_t slots, size_t first) noexcept {
    if (slots != 0 && (count + 1) * 4 <= slots * 3) return 0;
    slots = std::max(first, slots);
    while ((count + 1) * 4 > slots * 3) slots *= 2;
    return slots;
}

}  // namespace

uint8_t* CIniSection::At(uint32_t location) const noexcept {
    return m_blocks[location >> 16].bytes.get() + (location & 0xFFFF);
}

// Visits the kept entries of the section in order until visit answers true; answers
// whether it did.
template <class Visit>
bool CIniSection::ForEachEntry(uint32_t section, Visit visit) const {
    size_t block = section >> 16;
    uint32_t at = (section & 0xFFFF) + RecordBytes(ReadHeader(At(section)));
    for (;;) {
        if (at >= m_blocks[block].used) {
            if (++block == m_blocks.size()) return false;
            at = 0;
            continue;
        }
        const uint8_t* record = m_blocks[block].bytes.get() + at;
        const Header header = ReadHeader(record);
        if (IsName(header)) return false;
        if (!IsDead(header) && visit(record, header, static_cast<uint32_t>(block << 16 | at))) return true;
        at += RecordBytes(header);
    }
}

// The location + 1 of the section's kept record of this key, 0 when there is none.
uint32_t CIniSection::FindRecord(uint32_t section, const uint8_t* key, uint32_t keyBytes) const noexcept {
    uint32_t found = 0;
    ForEachEntry(section, [&](const uint8_t* record, const Header& header, uint32_t location) {
        if (KeyBytes(header) != keyBytes || std::memcmp(record + HeaderBytes, key, keyBytes) != 0) return false;
        found = location + 1;
        return true;
    });
    return found;
}

// Room for a record at the end of the last block, growing a small first block in place
// rather than starting another, so that a short file takes little more than its text.
// Nothing is committed: the caller advances the block's used count.
uint8_t* CIniSection::Reserve(uint32_t size, uint32_t& location) {
    if (m_blocks.empty() || m_blocks.back().used + size > m_blocks.back().capacity) {
        Block* last = m_blocks.empty() ? nullptr : &m_blocks.back();
        if (last && last->used + size <= BlockBytes) {
            const uint32_t capacity = std::min(BlockBytes, std::max(2 * last->capacity, last->used + size));
            auto bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
            std::memcpy(bytes.get(), last->bytes.get(), last->used);
            last->bytes = std::move(bytes);
            last->capacity = capacity;
        } else {
            const uint32_t capacity = last ? BlockBytes : std::max(FirstBlockBytes, size);
            Block block;
            block.bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
            block.capacity = capacity;
            m_blocks.push_back(std::move(block));
        }
    }
    Block& last = m_blocks.back();
    location = static_cast<uint32_t>((m_blocks.size() - 1) << 16 | last.used);
    return last.bytes.get() + last.used;
}

// The slot of the record whose key (or name) is this text, or the free slot where it belongs.
size_t CIniSection::Probe(const std::vector<uint32_t>& table, const uint8_t* text, uint32_t bytes) const noexcept {
    const size_t mask = table.size() - 1;
    for (size_t i = Hash(text, bytes) & mask;; i = (i + 1) & mask) {
        if (table[i] == 0) return i;
        const uint8_t* record = At(table[i] - 1);
        if (KeyBytes(ReadHeader(record)) == bytes && std::memcmp(record + HeaderBytes, text, bytes) == 0) return i;
    }
}

void CIniSection::EnsureNameRoom() {
    const size_t slots = SlotsFor(m_sections, m_names.size(), FirstNameSlots);
    if (slots == 0) return;
    std::vector<uint32_t> names(slots, 0);
    names.swap(m_names);
    for (const uint32_t location : names) {
        if (location == 0) continue;
        const uint8_t* record = At(location - 1);
        m_names[Probe(m_names, record + HeaderBytes, KeyBytes(ReadHeader(record)))] = location;
    }
}

// The index of the section being read, built anew in its cleared table.
void CIniSection::IndexKeys() noexcept {
    std::fill(m_keys.begin(), m_keys.end(), 0);
    ForEachEntry(m_current - 1, [this](const uint8_t* record, const Header& header, uint32_t location) {
        m_keys[Probe(m_keys, record + HeaderBytes, KeyBytes(header))] = location + 1;
        return false;
    });
}

void CIniSection::EnsureKeyRoom() {
    if (m_entries + 1 < IndexFromEntries) return;
    const size_t slots = SlotsFor(m_entries, m_keys.size(), FirstIndexSlots);
    if (slots == 0) return;
    m_keys.assign(slots, 0);
    IndexKeys();
}

void CIniSection::Discard(uint8_t* record) noexcept {
    Header header = ReadHeader(record);
    header.key |= DeadBit;
    WriteHeader(record, header);
    m_liveBytes -= RecordBytes(header);
    m_deadBytes += RecordBytes(header);
}

void CIniSection::BeginSection(std::wstring_view name) {
    if (name.size() > MaxTextUnits) throw std::length_error("INI section name too long");
    // The key index's room is kept for the next section.
    m_keys.clear();
    m_current = 0;
    m_entries = 0;
    EnsureNameRoom();
    uint32_t location = 0;
    uint8_t* record = Reserve(static_cast<uint32_t>(HeaderBytes + 3 * name.size()), location);
    const auto nameBytes = static_cast<uint32_t>(Encode(name, record + HeaderBytes) - record - HeaderBytes);
    WriteHeader(record, Header{static_cast<uint16_t>(nameBytes), NameMark});
    uint32_t& slot = m_names[Probe(m_names, record + HeaderBytes, nameBytes)];
    if (slot != 0) {
        // A section read again loses its earlier entries.
        Discard(At(slot - 1));
        ForEachEntry(slot - 1, [this](const uint8_t*, const Header&, uint32_t earlier) {
            Discard(At(earlier));
            return false;
        });
    } else {
        ++m_sections;
    }
    slot = location + 1;
    m_current = location + 1;
    m_blocks.back().used += HeaderBytes + nameBytes;
    m_liveBytes += HeaderBytes + nameBytes;
    if (m_deadBytes >= std::max<size_t>(m_liveBytes, BlockBytes)) Compact();
}

void CIniSection::SetEntry(std::wstring_view key, std::wstring_view value) {
    if (key.size() > MaxTextUnits || value.size() > MaxTextUnits) throw std::length_error("INI entry too long");
    EnsureKeyRoom();
    // Room for the longest form; only what the encoded text takes is committed.
    uint32_t location = 0;
    uint8_t* record = Reserve(static_cast<uint32_t>(HeaderBytes + 3 * (key.size() + value.size())), location);
    uint8_t* keyEnd = Encode(key, record + HeaderBytes);
    const auto keyBytes = static_cast<uint32_t>(keyEnd - record - HeaderBytes);
    const auto valueBytes = static_cast<uint32_t>(Encode(value, keyEnd) - keyEnd);
    const uint32_t size = HeaderBytes + keyBytes + valueBytes;
    WriteHeader(record, Header{static_cast<uint16_t>(keyBytes), static_cast<uint16_t>(valueBytes)});

    const size_t slot = m_keys.empty() ? 0 : Probe(m_keys, record + HeaderBytes, keyBytes);
    const uint32_t found = m_keys.empty() ? FindRecord(m_current - 1, record + HeaderBytes, keyBytes) : m_keys[slot];
    if (found != 0) {
        uint8_t* earlier = At(found - 1);
        if (ReadHeader(earlier).value == valueBytes) {
            // Same length: the value is overwritten where it is, and the reserved room stays free.
            std::memcpy(earlier + HeaderBytes + keyBytes, record + HeaderBytes + keyBytes, valueBytes);
            return;
        }
        Discard(earlier);
    } else {
        ++m_entries;
    }
    if (!m_keys.empty()) m_keys[slot] = location + 1;
    m_blocks.back().used += size;
    m_liveBytes += size;
    // Reclaiming once the discarded text outweighs the kept text costs, spread over what
    // was discarded since, a constant per byte.
    if (m_deadBytes >= std::max<size_t>(m_liveBytes, BlockBytes)) Compact();
}

// Slides the kept records towards the start, in order, and frees the blocks left empty.
// A record never moves to a later place than it had, so moving in place is safe, and a
// name not yet moved is still where the name index says.
void CIniSection::Compact() noexcept {
    size_t to = 0;
    uint32_t toUsed = 0;
    for (size_t from = 0; from < m_blocks.size(); ++from) {
        for (uint32_t at = 0; at < m_blocks[from].used;) {
            uint8_t* record = m_blocks[from].bytes.get() + at;
            const Header header = ReadHeader(record);
            const uint32_t size = RecordBytes(header);
            const auto old = static_cast<uint32_t>(from << 16 | at);
            at += size;
            if (IsDead(header)) continue;
            if (toUsed + size > m_blocks[to].capacity) {
                m_blocks[to].used = toUsed;
                ++to;
                toUsed = 0;
            }
            const auto moved = static_cast<uint32_t>(to << 16 | toUsed);
            if (IsName(header)) {
                m_names[Probe(m_names, record + HeaderBytes, KeyBytes(header))] = moved + 1;
                if (m_current == old + 1) m_current = moved + 1;
            }
            std::memmove(m_blocks[to].bytes.get() + toUsed, record, size);
            toUsed += size;
        }
    }
    if (!m_blocks.empty()) {
        m_blocks[to].used = toUsed;
        m_blocks.resize(to + 1);
    }
    m_deadBytes = 0;
    if (!m_keys.empty()) IndexKeys();
}

void CIniSection::EndLoading() {
    std::vector<uint32_t>().swap(m_keys);
    m_current = 0;
    m_entries = 0;
    if (m_deadBytes > 0) Compact();
    if (m_blocks.empty()) return;
    Block& last = m_blocks.back();
    if (last.used == 0) {
        m_blocks.pop_back();
        return;
    }
    if (last.used == last.capacity) return;
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(last.used);
    std::memcpy(bytes.get(), last.bytes.get(), last.used);
    last.bytes = std::move(bytes);
    last.capacity = last.used;
}

void CIniSection::Clear() noexcept {
    m_blocks.clear();
    std::vector<uint32_t>().swap(m_names);
    std::vector<uint32_t>().swap(m_keys);
    m_sections = m_entries = m_liveBytes = m_deadBytes = 0;
    m_current = 0;
}

bool CIniSection::FindSection(std::wstring_view name, uint32_t& section) const {
    if (name.size() > MaxTextUnits || m_names.empty()) return false;
    const std::vector<uint8_t> wanted = Encoded(name);
    const uint32_t found = m_names[Probe(m_names, wanted.data(), static_cast<uint32_t>(wanted.size()))];
    if (found == 0) return false;
    section = found - 1;
    return true;
}

bool CIniSection::FindEntry(uint32_t section, std::wstring_view key, std::wstring& value) const {
    if (key.size() > MaxTextUnits) return false;
    const std::vector<uint8_t> wanted = Encoded(key);
    const auto keyBytes = static_cast<uint32_t>(wanted.size());
    const uint32_t found = FindRecord(section, wanted.data(), keyBytes);
    if (found == 0) return false;
    const uint8_t* record = At(found - 1);
    value = Decode(record + HeaderBytes + keyBytes, ReadHeader(record).value);
    return true;
}

void CIniSection::CopyEntriesInto(uint32_t section, IniEntries& out) const {
    ForEachEntry(section, [&out](const uint8_t* record, const Header& header, uint32_t) {
        const uint8_t* key = record + HeaderBytes;
        out.insert_or_assign(Decode(key, KeyBytes(header)), Decode(key + KeyBytes(header), header.value));
        return false;
    });
}

bool CIniSection::HasEntries() const noexcept {
    for (const uint32_t location : m_names)
        if (location != 0 && ForEachEntry(location - 1, [](const uint8_t*, const Header&, uint32_t) { return true; }))
            return true;
    return false;
}
