#pragma once
#include "CCheckedPath.h"
#include "COwnFileName.h"
#include "UniqueHandle.h"
#include <windows.h>
#include <string>

// A file in a shared folder that the component overwrites, truncates or deletes. Others can
// plant a link, a junction or a second name of someone else's file under the name the
// component uses; the file is therefore opened without following a link at its final name
// and refused, with an Error entry naming the operation, when it is a link, a junction or a
// folder, has a second name, or its handle leads anywhere but the folder and name asked for
// (Wine opens through Unix links). Other reparse points, such as a synced folder's
// placeholders, are plain files. Everything after the open works on that same handle, so
// nothing can be swapped in between. Folders on the way (a workspace behind a junction) are
// followed as usual.
class CPlainFile {
public:
    // The answer for a refused file.
    static constexpr HRESULT kRefused = HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE);

    // An existing file, for the access given (DELETE, FILE_WRITE_ATTRIBUTES, …); a missing one
    // answers the system's error without an entry.
    [[nodiscard]] HRESULT OpenExisting(const CCheckedPath& path, DWORD access, const wchar_t* operation);
    // The file for writing, created when it is missing (checked before it is created, so a
    // refusal leaves no empty file behind).
    [[nodiscard]] HRESULT OpenForWriting(const CCheckedPath& path, const wchar_t* operation);

    // name inside a folder held open as folder, reached from that handle without any lookup of
    // the folder's own name (a junction swapped in for it leads nowhere): a new file for writing,
    // or an existing file, refused (kRefused, no entry) when it is a folder, a link or has a
    // second name.
    [[nodiscard]] HRESULT CreateInside(HANDLE folder, const COwnFileName& name);
    [[nodiscard]] HRESULT OpenInside(HANDLE folder, const COwnFileName& name, DWORD access);

    // Times and attributes as read right after the open.
    const BY_HANDLE_FILE_INFORMATION& Information() const noexcept { return m_information; }

    // Empties the file and writes from its start.
    [[nodiscard]] HRESULT Truncate();
    // All size bytes at data, at the current position.
    [[nodiscard]] HRESULT Write(const void* data, DWORD size);
    // The rest of the open file from, at the current position.
    [[nodiscard]] HRESULT CopyFrom(HANDLE from);
    [[nodiscard]] HRESULT SetAttributes(DWORD attributes);
    // Null leaves a time as it is.
    [[nodiscard]] HRESULT SetTimes(const FILETIME* creation, const FILETIME* lastWrite);
    // The file goes when this object closes it.
    [[nodiscard]] HRESULT Delete();

private:
    HRESULT Open(const CCheckedPath& path, DWORD access, DWORD share, DWORD disposition, const wchar_t* operation);
    HRESULT OpenRelative(HANDLE folder, const COwnFileName& name, DWORD access, ULONG disposition);

    UniqueHandle m_file;
    BY_HANDLE_FILE_INFORMATION m_information{};
};
