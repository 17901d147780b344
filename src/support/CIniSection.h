#pragma once
#include <map>
#include <string>

// Key to value map ordered by ordinal comparison of the UTF-16 code units.
using IniEntries = std::map<std::wstring, std::wstring>;

// The key lines of one INI section, keys kept as written (except "SUPER").
class CIniSection {
public:
    CIniSection() = default;
    virtual ~CIniSection() = default;

    // A later value replaces an earlier one of the same key.
    void SetEntry(std::wstring key, std::wstring value);
    const IniEntries& GetEntries() const noexcept { return m_entries; }
    // Copies every entry into out, replacing entries of the same key.
    void CopyEntriesInto(IniEntries& out) const;

private:
    IniEntries m_entries;
};
