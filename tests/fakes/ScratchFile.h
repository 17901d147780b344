#pragma once
#include <string>
#include <string_view>

// A file in the temp folder holding given bytes; deleted when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(std::string_view bytes = {});
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();

    // Replaces the whole content.
    void Write(std::string_view bytes) const;
    const std::wstring& Path() const noexcept { return m_path; }

private:
    std::wstring m_path;
};
