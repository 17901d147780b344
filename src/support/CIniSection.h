#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Key to value map ordered by ordinal comparison of the UTF-16 code units.
using IniEntries = std::map<std::wstring, std::wstring>;

// The sections of one INI file with their key lines, keys kept as written (except "SUPER").
// A title import file may be large, may set a key or a section again and again, or may hold
// many sections of a line each, so all its text lives compactly in one store: as CESU-8
// (see Cesu8.h), a section as a record of its name followed by records of key and value, in
// blocks of the store. A section is known by the location of its name record; a name index
// finds it. A section read again and a replaced value are reclaimed while the file is still
// read. Wide strings are made only when entries are handed out.
class CIniSection {
public:
    CIniSection() = default;
    // A copy holds the same sections in as little memory as their text takes; a load works
    // on one, so that a load that fails leaves the original as it was.
    CIniSection(const CIniSection& other);
    CIniSection& operator=(const CIniSection&) = delete;
    CIniSection(CIniSection&&) noexcept = default;
    CIniSection& operator=(CIniSection&&) noexcept = default;
    virtual ~CIniSection() = default;

    // Starts the section of this name (CESU-8, upper case already), dropping the entries of
    // an earlier one of the same name; later SetEntry calls fill it.
    void BeginSection(std::string_view name);
    // In the section begun last, a later value replaces an earlier one of the same key. Names,
    // keys and values come as CESU-8, at most MaxTextBytes each (a line is far shorter).
    void SetEntry(std::string_view key, std::string_view value);
    // Frees what only loading needs (the key index, replaced text, spare room); the sections
    // stay. SetEntry needs a BeginSection again afterwards.
    void EndLoading();
    // Drops every section.
    void Clear() noexcept;
    // False when there is no section of this name (upper case already).
    bool FindSection(std::wstring_view name, uint32_t& section) const;
    // False when the section has no such key (CESU-8).
    bool FindEntry(uint32_t section, std::string_view key, std::wstring& value) const;
    // Copies every entry of the section into out, replacing entries of the same key.
    void CopyEntriesInto(uint32_t section, IniEntries& out) const;
    // True when some section has an entry.
    bool HasEntries() const noexcept;

    // An entry's record fits one block of the store.
    static constexpr size_t MaxTextBytes = 0x7FFE;

private:
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity = 0;
        uint32_t used = 0;
    };
    uint8_t* Reserve(uint32_t size, uint32_t& location);
    uint8_t* At(uint32_t location) const noexcept;
    size_t Probe(const std::vector<uint32_t>& table, const uint8_t* text, uint32_t bytes) const noexcept;
    uint32_t FindRecord(uint32_t section, const uint8_t* key, uint32_t keyBytes) const noexcept;
    void EnsureNameRoom();
    void EnsureKeyRoom();
    void IndexKeys() noexcept;
    void Discard(uint8_t* record) noexcept;
    void Compact() noexcept;
    template <class Visit>
    bool ForEachEntry(uint32_t section, Visit visit) const;

    std::vector<Block> m_blocks;
    // Open addressing over name record locations + 1 (0 is a free slot).
    std::vector<uint32_t> m_names;
    size_t m_sections = 0;
    // The same over the entries of the section being read, only while it has many: a few
    // are found quicker by looking at each.
    std::vector<uint32_t> m_keys;
    uint32_t m_current = 0;  // name record location + 1 of the section being read
    size_t m_entries = 0;    // of the section being read
    size_t m_liveBytes = 0;
    size_t m_deadBytes = 0;
};
