#pragma once
#include <map>
#include <string>
#include <vector>

// The files below a folder with their contents, to tell what a run created or changed.
class FolderSnapshot {
public:
    explicit FolderSnapshot(const std::wstring& folder);

    // "new NAME", "changed NAME" and "removed NAME", names relative to the folder, sorted.
    std::vector<std::string> ChangesTo(const FolderSnapshot& later) const;

private:
    std::map<std::wstring, std::string> m_files;
};
