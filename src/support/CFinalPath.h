#pragma once
#include <windows.h>
#include <optional>
#include <string>

// Where an open file really is. A link planted at a name is seen by its attributes on
// Windows, but Wine opens through a Unix symbolic link and reports a plain file: only the
// handle's final path shows where the open led. Some volumes and redirectors never answer a
// final path (and Wine none beyond MAX_PATH): there the attributes and the link count decide
// alone. Writes no log entry (the log itself uses it).
class CFinalPath {
public:
    enum class Finding { Plain, LinkOrFolder, SecondName, Elsewhere };
    // What a handle opened at path without following a link there is: a plain file with one
    // name at that very place, or why not. Links and junctions name another place; other
    // reparse points (a synced folder's placeholders) are the file itself, and a file system
    // that counts no names reports 0, which is no second name.
    static Finding Check(HANDLE file, const BY_HANDLE_FILE_INFORMATION& information, const std::wstring& path);
    // Whether file's final path is the folder of path (itself resolved to its final path, so
    // folders on the way may be junctions) followed by path's file name, ignoring case; nothing
    // when a final path cannot be read.
    static std::optional<bool> Is(HANDLE file, const std::wstring& path);
    // The handle's final path without the "\\?\" prefix; empty when it cannot be read.
    static std::wstring Of(HANDLE file);
};
