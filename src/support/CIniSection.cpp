#include "CIniSection.h"

void CIniSection::SetEntry(std::wstring_view key, std::wstring_view value) {
    const auto at = m_entries.lower_bound(key);
    if (at != m_entries.end() && at->first == key)
        at->second.assign(value);
    else
        m_entries.emplace_hint(at, key, value);
}

const std::pmr::wstring* CIniSection::FindEntry(std::wstring_view key) const {
    const auto found = m_entries.find(key);
    return found == m_entries.end() ? nullptr : &found->second;
}

void CIniSection::CopyEntriesInto(IniEntries& out) const {
    for (const auto& [key, value] : m_entries) out.insert_or_assign(std::wstring(key), std::wstring(value));
}
