#include "CIniSection.h"

void CIniSection::SetEntry(std::wstring key, std::wstring value) {
    m_entries.insert_or_assign(std::move(key), std::move(value));
}

void CIniSection::CopyEntriesInto(IniEntries& out) const {
    for (const auto& [key, value] : m_entries) out.insert_or_assign(key, value);
}
