#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Key to value map ordered by ordinal comparison of the UTF-16 code units.
using IniEntries = std::map<std::wstring, std::wstring>;

// The key lines of one INI section, keys kept as written (except "SUPER").
// A title import file may be large and may set a key again and again, so the section holds
// its text compactly and only what it keeps: each UTF-16 unit as one to three bytes (the
// UTF-8 forms, surrogate halves on their own), an entry as a record of key and value in
// blocks owned by the section, a replaced value reclaimed while the section is still read.
// Wide strings are made only when entries are handed out.
class CIniSection {
public:
    CIniSection() = default;
    CIniSection(const CIniSection&) = delete;
    CIniSection& operator=(const CIniSection&) = delete;
    virtual ~CIniSection() = default;

    // A later value replaces an earlier one of the same key. Key and value are at most a
    // line long (MaxTextUnits units each).
    void SetEntry(std::wstring_view key, std::wstring_view value);
    // Frees what only SetEntry needs (the key index, replaced values, spare room); the
    // entries stay. SetEntry may still be called afterwards.
    void EndLoading();
    // Drops every entry, as a section read anew.
    void Clear() noexcept;
    // False when the section has no such key.
    bool FindEntry(std::wstring_view key, std::wstring& value) const;
    // Copies every entry into out, replacing entries of the same key.
    void CopyEntriesInto(IniEntries& out) const;
    bool IsEmpty() const noexcept { return m_entries == 0; }

    static constexpr size_t MaxTextUnits = 0x7FFF / 3;

private:
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity = 0;
        uint32_t used = 0;
    };

    uint8_t* Reserve(uint32_t size, uint32_t& location);
    uint8_t* At(uint32_t location) const noexcept;
    uint32_t* FindSlot(const uint8_t* key, uint32_t keyBytes) noexcept;
    uint32_t FindRecord(const uint8_t* key, uint32_t keyBytes) const noexcept;
    void EnsureIndexRoom();
    void RebuildIndex(std::vector<uint32_t> index) noexcept;
    void Compact();
    template <class Visit>
    bool ForEachRecord(Visit visit) const;

    std::vector<Block> m_blocks;
    // Open addressing over record locations + 1 (0 is a free slot); only while loading a
    // section with many entries: a few are found quicker by looking at each.
    std::vector<uint32_t> m_index;
    size_t m_entries = 0;
    size_t m_liveBytes = 0;
    size_t m_deadBytes = 0;
};
