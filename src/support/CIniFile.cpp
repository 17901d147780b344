#include "CIniFile.h"
#include "CTextFileRead.h"
#include "CUtils.h"
#include "ClientText.h"
#include <new>
#include <string_view>

namespace {

constexpr int32_t LineChars = 1000;

// A load stops while the process can still find a large block of address space: the client
// that hosts the component must carry on, and an allocation that fails deep inside a load is
// no state to count on (under Wine even throwing can fail then).
constexpr SIZE_T HeadroomBytes = 128 << 20;
constexpr unsigned LinesPerHeadroomCheck = 16384;

bool HasHeadroom() noexcept {
    void* probe = VirtualAlloc(nullptr, HeadroomBytes, MEM_RESERVE, PAGE_NOACCESS);
    if (!probe) return false;
    VirtualFree(probe, 0, MEM_RELEASE);
    return true;
}
constexpr std::wstring_view SuperKey = L"SUPER";

std::wstring ToUpper(std::wstring_view text) { return ClientText::ToUpper(std::wstring(text)); }

bool IsSuperKey(std::wstring_view key) {
    // Upper-casing keeps the length, so only five-character keys can match.
    return key.size() == SuperKey.size() && ToUpper(key) == SuperKey;
}

}  // namespace

bool CIniFile::Load(const std::wstring& path) {
    try {
        m_fileName = path;
        CTextFileRead reader;
        reader.Open(path.c_str());
        if (!reader.IsOpen()) {
            m_status = StatusOpenFailed;
            return false;
        }
        m_status = ReadSections(reader) ? StatusLoaded : StatusNoSection;
    } catch (const std::bad_alloc&) {
        // Half a file is no use to anyone, and the client's process needs its memory back.
        m_sections.Clear();
        m_status = StatusOutOfMemory;
        CUtils::Instance().WriteLog(CUtils::LevelError, L"CIniFile::Load: %s is too large to load (hr = %X)", path,
                                    E_OUTOFMEMORY);
    }
    return m_status == StatusLoaded;
}

bool CIniFile::ReadSections(CTextFileRead& reader) {
    bool sectionRead = false;
    wchar_t line[LineChars];
    // Reading answers false exactly when the reader has reached the end of the file.
    for (unsigned lines = 1; reader.ReadLineTerminated(line, LineChars); ++lines) {
        if (lines % LinesPerHeadroomCheck == 0 && !HasHeadroom()) throw std::bad_alloc();
        // One pass finds both the end of the line and its first "=".
        size_t length = 0, equals = std::wstring_view::npos;
        for (; line[length] != L'\0'; ++length)
            if (line[length] == L'=' && equals == std::wstring_view::npos) equals = length;
        const std::wstring_view text(line, length);
        if (text.empty() || text.front() == L';') continue;
        if (text.front() == L'[') {
            const std::wstring_view inside = text.substr(1);
            m_sections.BeginSection(ToUpper(inside.substr(0, inside.rfind(L']'))));
            sectionRead = true;
            continue;
        }
        // Key lines before this file's first section line belong to no section.
        if (!sectionRead || equals == std::wstring_view::npos) continue;
        const std::wstring_view key = text.substr(0, equals);
        m_sections.SetEntry(IsSuperKey(key) ? SuperKey : key, text.substr(equals + 1));
    }
    m_sections.EndLoading();
    return sectionRead;
}

bool CIniFile::FindSection(std::wstring_view name, uint32_t& section) const {
    return m_sections.FindSection(ToUpper(name), section);
}

bool CIniFile::GetSection(const std::wstring& name, IniEntries& out) const {
    uint32_t section = 0;
    if (!FindSection(name, section)) return false;
    m_sections.CopyEntriesInto(section, out);
    // One level only: the base section's own "SUPER" is copied but not followed.
    std::wstring super;
    uint32_t base = 0;
    if (m_sections.FindEntry(section, SuperKey, super) && FindSection(super, base))
        m_sections.CopyEntriesInto(base, out);
    return !out.empty();
}

bool CIniFile::HasEntries() const {
    // GetSection only ever adds the base's entries to the section's own, and a "SUPER" to
    // follow is an entry itself: a section yields entries exactly when it has one. Asking
    // that spares building a copy of each section.
    return m_sections.HasEntries();
}
