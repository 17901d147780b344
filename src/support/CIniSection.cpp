#include "CIniSection.h"
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// A record: key length in bytes (its top bit marks a replaced record), value length in
// bytes, then the key's and the value's bytes. Locations are block << 16 | offset.
constexpr uint32_t HeaderBytes = 4;
constexpr uint16_t DeadBit = 0x8000;
constexpr uint32_t BlockBytes = 0x10000;
// A title import section of twenty attributes fits the first block and the first index.
constexpr uint32_t FirstBlockBytes = 1024;
constexpr size_t IndexFromEntries = 8;
constexpr size_t FirstIndexSlots = 32;

struct Header {
    uint16_t key;
    uint16_t value;
};

Header ReadHeader(const uint8_t* record) noexcept {
    Header header;
    std::memcpy(&header, record, sizeof header);
    return header;
}

uint32_t KeyBytes(const Header& header) noexcept { return header.key & ~DeadBit; }
bool IsDead(const Header& header) noexcept { return header.key & DeadBit; }
uint32_t RecordBytes(const Header& header) noexcept { return HeaderBytes + KeyBytes(header) + header.value; }

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

}  // namespace

uint8_t* CIniSection::At(uint32_t location) const noexcept {
    return m_blocks[location >> 16].bytes.get() + (location & 0xFFFF);
}

// Visits the kept records in order until visit answers true; answers whether it did.
template <class Visit>
bool CIniSection::ForEachRecord(Visit visit) const {
    for (size_t block = 0; block < m_blocks.size(); ++block) {
        for (uint32_t at = 0; at < m_blocks[block].used;) {
            const uint8_t* record = m_blocks[block].bytes.get() + at;
            const Header header = ReadHeader(record);
            if (!IsDead(header) && visit(record, header, static_cast<uint32_t>(block << 16 | at))) return true;
            at += RecordBytes(header);
        }
    }
    return false;
}

// The location + 1 of the kept record of this key, 0 when there is none.
uint32_t CIniSection::FindRecord(const uint8_t* key, uint32_t keyBytes) const noexcept {
    uint32_t found = 0;
    ForEachRecord([&](const uint8_t* record, const Header& header, uint32_t location) {
        if (KeyBytes(header) != keyBytes || std::memcmp(record + HeaderBytes, key, keyBytes) != 0) return false;
        found = location + 1;
        return true;
    });
    return found;
}

// Room for a record at the end of the last block, growing a small first block in place
// rather than starting another, so that a short section takes little more than its text.
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

uint32_t* CIniSection::FindSlot(const uint8_t* key, uint32_t keyBytes) noexcept {
    const size_t mask = m_index.size() - 1;
    for (size_t i = Hash(key, keyBytes) & mask;; i = (i + 1) & mask) {
        uint32_t& slot = m_index[i];
        if (slot == 0) return &slot;
        const uint8_t* record = At(slot - 1);
        if (KeyBytes(ReadHeader(record)) == keyBytes && std::memcmp(record + HeaderBytes, key, keyBytes) == 0)
            return &slot;
    }
}

// Takes a cleared index of the new size, allocated before any record moved.
void CIniSection::RebuildIndex(std::vector<uint32_t> index) noexcept {
    m_index.swap(index);
    ForEachRecord([this](const uint8_t* record, const Header& header, uint32_t location) {
        *FindSlot(record + HeaderBytes, KeyBytes(header)) = location + 1;
        return false;
    });
}

// At most three quarters of the slots are used, so that probes stay short.
void CIniSection::EnsureIndexRoom() {
    if (m_entries + 1 < IndexFromEntries) return;
    if (!m_index.empty() && (m_entries + 1) * 4 <= m_index.size() * 3) return;
    size_t slots = std::max(FirstIndexSlots, m_index.size());
    while ((m_entries + 1) * 4 > slots * 3) slots *= 2;
    RebuildIndex(std::vector<uint32_t>(slots, 0));
}

void CIniSection::SetEntry(std::wstring_view key, std::wstring_view value) {
    if (key.size() > MaxTextUnits || value.size() > MaxTextUnits) throw std::length_error("INI entry too long");
    EnsureIndexRoom();
    // Room for the longest form; only what the encoded text takes is committed.
    uint32_t location = 0;
    uint8_t* record = Reserve(static_cast<uint32_t>(HeaderBytes + 3 * (key.size() + value.size())), location);
    uint8_t* keyEnd = Encode(key, record + HeaderBytes);
    const auto keyBytes = static_cast<uint32_t>(keyEnd - record - HeaderBytes);
    const auto valueBytes = static_cast<uint32_t>(Encode(value, keyEnd) - keyEnd);
    const uint32_t size = HeaderBytes + keyBytes + valueBytes;
    const Header header{static_cast<uint16_t>(keyBytes), static_cast<uint16_t>(valueBytes)};
    std::memcpy(record, &header, sizeof header);

    uint32_t* slot = m_index.empty() ? nullptr : FindSlot(record + HeaderBytes, keyBytes);
    const uint32_t found = slot ? *slot : FindRecord(record + HeaderBytes, keyBytes);
    if (found != 0) {
        uint8_t* earlier = At(found - 1);
        Header earlierHeader = ReadHeader(earlier);
        if (earlierHeader.value == valueBytes) {
            // Same length: the value is overwritten where it is, and the reserved room stays free.
            std::memcpy(earlier + HeaderBytes + keyBytes, record + HeaderBytes + keyBytes, valueBytes);
            return;
        }
        earlierHeader.key |= DeadBit;
        std::memcpy(earlier, &earlierHeader, sizeof earlierHeader);
        m_liveBytes -= RecordBytes(earlierHeader);
        m_deadBytes += RecordBytes(earlierHeader);
    } else {
        ++m_entries;
    }
    if (slot) *slot = location + 1;
    m_blocks.back().used += size;
    m_liveBytes += size;
    // Reclaiming once the replaced values outweigh the kept ones costs, spread over the
    // values replaced since, a constant per byte.
    if (m_deadBytes >= std::max<size_t>(m_liveBytes, BlockBytes)) Compact();
}

// Slides the kept records towards the start, in order, and frees the blocks left empty.
// A record never moves to a later place than it had, so moving in place is safe.
void CIniSection::Compact() {
    std::vector<uint32_t> index(m_index.size(), 0);
    size_t to = 0;
    uint32_t toUsed = 0;
    for (size_t from = 0; from < m_blocks.size(); ++from) {
        for (uint32_t at = 0; at < m_blocks[from].used;) {
            uint8_t* record = m_blocks[from].bytes.get() + at;
            const Header header = ReadHeader(record);
            const uint32_t size = RecordBytes(header);
            at += size;
            if (IsDead(header)) continue;
            if (toUsed + size > m_blocks[to].capacity) {
                m_blocks[to].used = toUsed;
                ++to;
                toUsed = 0;
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
    if (!index.empty()) RebuildIndex(std::move(index));
}

void CIniSection::EndLoading() {
    std::vector<uint32_t>().swap(m_index);
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
    std::vector<uint32_t>().swap(m_index);
    m_entries = m_liveBytes = m_deadBytes = 0;
}

bool CIniSection::FindEntry(std::wstring_view key, std::wstring& value) const {
    if (key.size() > MaxTextUnits) return false;
    std::vector<uint8_t> wanted(3 * key.size());
    const auto keyBytes = static_cast<uint32_t>(Encode(key, wanted.data()) - wanted.data());
    const uint32_t found = FindRecord(wanted.data(), keyBytes);
    if (found == 0) return false;
    const uint8_t* record = At(found - 1);
    value = Decode(record + HeaderBytes + keyBytes, ReadHeader(record).value);
    return true;
}

void CIniSection::CopyEntriesInto(IniEntries& out) const {
    ForEachRecord([&out](const uint8_t* record, const Header& header, uint32_t) {
        const uint8_t* key = record + HeaderBytes;
        out.insert_or_assign(Decode(key, KeyBytes(header)), Decode(key + KeyBytes(header), header.value));
        return false;
    });
}
