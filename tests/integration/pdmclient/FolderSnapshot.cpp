#include "FolderSnapshot.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"

FolderSnapshot::FolderSnapshot(const std::wstring& folder) {
    VisitFolder(folder, [&](const std::wstring& name, bool isFolder) {
        if (!isFolder) m_files[name] = TempFolder::ReadBytes(folder + L"\\" + name);
    });
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
