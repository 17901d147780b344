#pragma once
#include "CCheckedPath.h"
#include "CIniSection.h"
#include <cstdint>
#include <string>

// A read-only INI file: sections named in upper case, one level of inheritance through a
// section's "SUPER" key. Read through CTextFileRead, so ANSI, UTF-8 and UTF-16 files work.
class CIniFile {
public:
    static constexpr int32_t StatusNotLoaded = 0;
    static constexpr int32_t StatusLoaded = 1;
    static constexpr int32_t StatusOpenFailed = -1;
    static constexpr int32_t StatusNoSection = -2;
    // The file held more than the process could take; nothing of it is kept.
    static constexpr int32_t StatusOutOfMemory = -3;

    CIniFile() = default;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;
    virtual ~CIniFile() = default;

    // True when the file opened and held at least one section line; adds to earlier loads.
    // A file too large for the process's memory gives false and an Error entry in the log,
    // and leaves the sections of earlier loads as they were.
    bool Load(const CCheckedPath& path);
    // Copies the section's entries, then those of the section its "SUPER" names, into out
    // (not cleared first); true when out is not empty afterwards.
    bool GetSection(const std::wstring& name, IniEntries& out) const;
    // True when some section yields at least one entry through GetSection.
    bool HasEntries() const;

    int32_t GetStatus() const noexcept { return m_status; }
    const std::wstring& GetFileName() const noexcept { return m_fileName; }

private:
    bool FindSection(std::wstring_view name, uint32_t& section) const;

    CIniSection m_sections;
    int32_t m_status = StatusNotLoaded;
    std::wstring m_fileName;
};
