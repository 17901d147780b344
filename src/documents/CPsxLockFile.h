#pragma once
#include "support/CCheckedPath.h"
#include <windows.h>
#include <cstdint>
#include <optional>
#include <string>

// The lock that a failed publication leaves in the workspace, so that the same unchanged
// drawing is not tried again for twelve hours. One value per publication; the lock file's
// creation time, not its content, decides whether it still blocks.
class CPsxLockFile {
public:
    static constexpr std::int64_t kLifetimeSeconds = 43200;

    // Reads the workspace folder and the user id from the client.
    explicit CPsxLockFile(const std::wstring& drawingPath);

    // False while a lock younger than its lifetime exists and the drawing has not changed
    // since; an outdated lock is deleted, and one that cannot be deleted keeps blocking. False
    // too, with an Error entry, for a drawing whose file name could name a place outside the
    // workspace folder, for a workspace that is no absolute path and for a link or second name
    // planted as the lock.
    bool MayPublish() const;
    // Writes the lock: UTF-16 with byte-order mark, the local time and the user id. Refuses a
    // drawing's file name that MayPublish refuses.
    bool WriteLock() const;

    // Empty, with an Error entry, when MayPublish refuses the name or the workspace.
    std::wstring LockPath() const;

private:
    bool MayPublishUnopened(const CCheckedPath& lockPath, HRESULT opened) const;
    // An expired lock that cannot be deleted: it blocks, with an entry saying why.
    static bool KeepsBlocking(const std::wstring& lockPath, HRESULT hr);
    static bool Expired(std::int64_t created);
    int DrawingChangedSince(std::int64_t created) const;
    // The lock's path; nothing, with an Error entry, when the drawing's file name could lead out
    // of the workspace or the workspace is no absolute path (an empty one would be the client's
    // working folder).
    std::optional<CCheckedPath> Lock() const;

    std::wstring m_drawingPath;
    std::wstring m_workspace;
    std::wstring m_userId;
};
