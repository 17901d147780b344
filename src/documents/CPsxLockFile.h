#pragma once
#include <windows.h>
#include <cstdint>
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
    // workspace folder and for a link or second name planted as the lock.
    bool MayPublish() const;
    // Writes the lock: UTF-16 with byte-order mark, the local time and the user id. Refuses a
    // drawing's file name that MayPublish refuses.
    bool WriteLock() const;

    const std::wstring& LockPath() const noexcept { return m_lockPath; }

private:
    bool MayPublishUnopened(HRESULT opened) const;
    static bool Expired(std::int64_t created);
    int DrawingChangedSince(std::int64_t created) const;
    // True, with an Error entry, when the drawing's file name could lead out of the workspace
    // or the lock's path holds a control character.
    bool NameRefused() const;

    std::wstring m_drawingPath;
    std::wstring m_lockPath;
    std::wstring m_userId;
};
