#pragma once
#include <map>
#include <memory_resource>
#include <string>
#include <string_view>

// Key to value map ordered by ordinal comparison of the UTF-16 code units.
using IniEntries = std::map<std::wstring, std::wstring>;

// The key lines of one INI section, keys kept as written (except "SUPER"). The text lives
// in memory of the owning file, which outlives its sections.
class CIniSection {
public:
    explicit CIniSection(std::pmr::memory_resource* memory) : m_entries(memory) {}
    virtual ~CIniSection() = default;

    // A later value replaces an earlier one of the same key.
    void SetEntry(std::wstring_view key, std::wstring_view value);
    // Null when the section has no such key.
    const std::pmr::wstring* FindEntry(std::wstring_view key) const;
    // Copies every entry into out, replacing entries of the same key.
    void CopyEntriesInto(IniEntries& out) const;

private:
    std::pmr::map<std::pmr::wstring, std::pmr::wstring, std::less<>> m_entries;
};
