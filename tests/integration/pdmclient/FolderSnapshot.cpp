#include "FolderSnapshot.h"
#include "TextCodec.h"
#include "fakes/TempFolder.h"
#include <windows.h>

FolderSnapshot::FolderSnapshot(const std::wstring& folder) { Read(folder, L""); }

void FolderSnapshot::Read(const std::wstring& folder, const std::wstring& prefix) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Read(folder + L"\\" + name, prefix + name + L"\\");
        else
            m_files[prefix + name] = TempFolder::ReadBytes(folder + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<std::string> FolderSnapshot::ChangesTo(const FolderSnapshot& later) const {
    std::vector<std::string> changes;
    for (const auto& [name, bytes] : later.m_files) {
        const auto before = m_files.find(name);
        if (before == m_files.end())
            changes.push_back("new " + TextCodec::ToUtf8(name));
        else if (before->second != bytes)
            changes.push_back("changed " + TextCodec::ToUtf8(name));
    }
    for (const auto& [name, bytes] : m_files)
        if (!later.m_files.count(name)) changes.push_back("removed " + TextCodec::ToUtf8(name));
    return changes;
}
