#include "CIniSection.h"
#include "Cesu8.h"
#include "ShortBytes.h"
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

// Four bytes a step: keys are short, and a load hashes one per line.
uint32_t Hash(const uint8_t* bytes, uint32_t size) noexcept {
    uint32_t hash = 2166136261u ^ size;
    for (; size >= 4; bytes += 4, size -= 4) {
        uint32_t word;
        std::memcpy(&word, bytes, sizeof word);
        hash = (hash ^ word) * 0x9E3779B1u;
        hash ^= hash >> 15;
    }
    for (; size > 0; --size) hash = (hash ^ *bytes++) * 16777619u;
    return hash ^ hash >> 16;
}

std::string_view Text(const uint8_t* bytes, uint32_t size) noexcept {
    return {reinterpret_cast<const char*>(bytes), size};
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

CIniSection::CIniSection(const CIniSection& other)
    : m_names(other.m_names),
      m_sections(other.m_sections),
      m_keys(other.m_keys),
      m_current(other.m_current),
      m_entries(other.m_entries),
      m_liveBytes(other.m_liveBytes),
      m_deadBytes(other.m_deadBytes) {
    // Locations stay valid: each block keeps its place and its records their offsets.
    m_blocks.reserve(other.m_blocks.size());
    for (const Block& block : other.m_blocks) {
        Block copy;
        copy.bytes = std::make_unique_for_overwrite<uint8_t[]>(block.used);
        std::memcpy(copy.bytes.get(), block.bytes.get(), block.used);
        copy.capacity = copy.used = block.used;
        m_blocks.push_back(std::move(copy));
    }
}

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
        if (KeyBytes(header) != keyBytes || !ShortBytes::Equal(record + HeaderBytes, key, keyBytes)) return false;
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
        if (KeyBytes(ReadHeader(record)) == bytes && ShortBytes::Equal(record + HeaderBytes, text, bytes)) return i;
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

void CIniSection::BeginSection(std::string_view name) {
    if (name.size() > MaxTextBytes) throw std::length_error("INI section name too long");
    // The key index's room is kept for the next section.
    m_keys.clear();
    m_current = 0;
    m_entries = 0;
    EnsureNameRoom();
    uint32_t location = 0;
    const auto nameBytes = static_cast<uint32_t>(name.size());
    uint8_t* record = Reserve(HeaderBytes + nameBytes, location);
    ShortBytes::Copy(record + HeaderBytes, reinterpret_cast<const uint8_t*>(name.data()), nameBytes);
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

void CIniSection::SetEntry(std::string_view key, std::string_view value) {
    if (key.size() > MaxTextBytes || value.size() > MaxTextBytes) throw std::length_error("INI entry too long");
    EnsureKeyRoom();
    const auto* keyText = reinterpret_cast<const uint8_t*>(key.data());
    const auto* valueText = reinterpret_cast<const uint8_t*>(value.data());
    const auto keyBytes = static_cast<uint32_t>(key.size());
    const auto valueBytes = static_cast<uint32_t>(value.size());
    const size_t slot = m_keys.empty() ? 0 : Probe(m_keys, keyText, keyBytes);
    const uint32_t found = m_keys.empty() ? FindRecord(m_current - 1, keyText, keyBytes) : m_keys[slot];
    if (found != 0) {
        uint8_t* earlier = At(found - 1);
        if (ReadHeader(earlier).value == valueBytes) {
            // Same length: the value is overwritten where it is.
            ShortBytes::Copy(earlier + HeaderBytes + keyBytes, valueText, valueBytes);
            return;
        }
        Discard(earlier);
    } else {
        ++m_entries;
    }
    const uint32_t size = HeaderBytes + keyBytes + valueBytes;
    uint32_t location = 0;
    uint8_t* record = Reserve(size, location);
    WriteHeader(record, Header{static_cast<uint16_t>(keyBytes), static_cast<uint16_t>(valueBytes)});
    ShortBytes::Copy(record + HeaderBytes, keyText, keyBytes);
    ShortBytes::Copy(record + HeaderBytes + keyBytes, valueText, valueBytes);
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
    const std::string wanted = Cesu8::Encoded(name);
    if (wanted.size() > MaxTextBytes || m_names.empty()) return false;
    const uint32_t found =
        m_names[Probe(m_names, reinterpret_cast<const uint8_t*>(wanted.data()), static_cast<uint32_t>(wanted.size()))];
    if (found == 0) return false;
    section = found - 1;
    return true;
}

bool CIniSection::FindEntry(uint32_t section, std::string_view key, std::wstring& value) const {
    const auto keyBytes = static_cast<uint32_t>(key.size());
    if (keyBytes > MaxTextBytes) return false;
    const uint32_t found = FindRecord(section, reinterpret_cast<const uint8_t*>(key.data()), keyBytes);
    if (found == 0) return false;
    const uint8_t* record = At(found - 1);
    value = Cesu8::Decode(Text(record + HeaderBytes + keyBytes, ReadHeader(record).value));
    return true;
}

void CIniSection::CopyEntriesInto(uint32_t section, IniEntries& out) const {
    ForEachEntry(section, [&out](const uint8_t* record, const Header& header, uint32_t) {
        const uint8_t* key = record + HeaderBytes;
        out.insert_or_assign(Cesu8::Decode(Text(key, KeyBytes(header))),
                             Cesu8::Decode(Text(key + KeyBytes(header), header.value)));
        return false;
    });
}

bool CIniSection::HasEntries() const noexcept {
    for (const uint32_t location : m_names)
        if (location != 0 && ForEachEntry(location - 1, [](const uint8_t*, const Header&, uint32_t) { return true; }))
            return true;
    return false;
}
