#include "fakes/ScratchFile.h"
#include "support/UniqueHandle.h"
#include <stdexcept>

ScratchFile::ScratchFile(std::string_view bytes) {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"scr", 0, name))
        throw std::runtime_error("no temp file");
    m_path = name;
    Write(bytes);
}

ScratchFile::~ScratchFile() { DeleteFileW(m_path.c_str()); }

void ScratchFile::Write(std::string_view bytes) const {
    UniqueHandle file(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.valid() ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("scratch file not written");
}
