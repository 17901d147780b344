#include "CIniFile.h"
#include "CTextFileRead.h"
#include <string_view>

namespace {

constexpr int32_t LineChars = 1000;
constexpr std::wstring_view SuperKey = L"SUPER";

std::wstring ToUpper(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

bool IsSuperKey(std::wstring_view key) {
    // Upper-casing keeps the length, so only five-character keys can match.
    return key.size() == SuperKey.size() && ToUpper(key) == SuperKey;
}

}  // namespace

bool CIniFile::Load(const std::wstring& path) {
    m_fileName = path;
    CTextFileRead reader;
    reader.Open(path.c_str());
    if (!reader.IsOpen()) {
        m_status = StatusOpenFailed;
        return false;
    }

    CIniSection* current = nullptr;
    bool sectionRead = false;
    wchar_t line[LineChars];
    // Reading answers false exactly when the reader has reached the end of the file.
    while (reader.ReadLineTerminated(line, LineChars)) {
        const std::wstring_view text(line);
        if (text.empty() || text.front() == L';') continue;
        if (text.front() == L'[') {
            const std::wstring_view inside = text.substr(1);
            auto& slot = m_sections[ToUpper(inside.substr(0, inside.rfind(L']')))];
            slot = std::make_unique<CIniSection>();
            current = slot.get();
            sectionRead = true;
            continue;
        }
        const size_t equals = text.find(L'=');
        if (!current || equals == std::wstring_view::npos) continue;
        const std::wstring_view key = text.substr(0, equals);
        current->SetEntry(std::wstring(IsSuperKey(key) ? SuperKey : key),
                          std::wstring(text.substr(equals + 1)));
    }
    reader.Close();

    m_status = sectionRead ? StatusLoaded : StatusNoSection;
    return sectionRead;
}

const CIniSection* CIniFile::FindSection(const std::wstring& name) const {
    const auto found = m_sections.find(ToUpper(name));
    return found == m_sections.end() ? nullptr : found->second.get();
}

bool CIniFile::GetSection(const std::wstring& name, IniEntries& out) const {
    const CIniSection* section = FindSection(name);
    if (!section) return false;
    section->CopyEntriesInto(out);
    // One level only: the base section's own "SUPER" is copied but not followed.
    const auto& entries = section->GetEntries();
    if (const auto super = entries.find(std::wstring(SuperKey)); super != entries.end()) {
        if (const CIniSection* base = FindSection(super->second)) base->CopyEntriesInto(out);
    }
    return !out.empty();
}

bool CIniFile::HasEntries() const {
    IniEntries work;
    for (const auto& [name, section] : m_sections) {
        work.clear();
        if (GetSection(name, work)) return true;
    }
    return false;
}
