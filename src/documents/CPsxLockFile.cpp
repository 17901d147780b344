#include "CPsxLockFile.h"
#include "client/CVantorApplication.h"
#include "support/COutsideValue.h"
#include "support/CLog.h"
#include "support/CPlainFile.h"

namespace {

constexpr wchar_t kOperation[] = L"PublishPSX";
constexpr wchar_t kLockExtension[] = L".psxlck";
constexpr wchar_t kLockFormat[] = L"%24.24s: %s";
constexpr std::int64_t kUnixEpochIn100ns = 116444736000000000LL;

std::int64_t Seconds(const FILETIME& time) {
    const std::int64_t ticks = (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (ticks - kUnixEpochIn100ns) / 10000000;
}

std::int64_t Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Seconds(now);
}

bool ReadStatus(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& status) {
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &status) != FALSE;
}

}  // namespace

CPsxLockFile::CPsxLockFile(const std::wstring& drawingPath) : m_drawingPath(drawingPath) {
    CVantorApplication& session = CVantorApplication::Instance();
    m_workspace = session.GetWorkspacePath();
    m_userId = session.GetClientVariable(L"USERID");
}

// Cut at the last dot: a name without one leaves nothing, so all such drawings share ".psxlck".
std::optional<CCheckedPath> CPsxLockFile::Lock() const {
    const std::optional<COwnFileName> name = COutsideValue::OwnFileName(kOperation, m_drawingPath);
    const std::optional<CCheckedPath> workspace = name ? COutsideValue::Path(kOperation, m_workspace) : std::nullopt;
    if (!workspace) return std::nullopt;
    return workspace->Child(name->WithExtension(kLockExtension));
}

std::wstring CPsxLockFile::LockPath() const {
    const std::optional<CCheckedPath> lock = Lock();
    return lock ? lock->str() : std::wstring();
}

bool CPsxLockFile::MayPublish() const {
    const std::optional<CCheckedPath> lockPath = Lock();
    if (!lockPath) return false;
    CPlainFile lock;
    const HRESULT opened = lock.OpenExisting(*lockPath, DELETE, kOperation);
    if (opened == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || opened == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        return true;
    if (FAILED(opened)) return MayPublishUnopened(*lockPath, opened);
    const std::int64_t created = Seconds(lock.Information().ftCreationTime);
    if (!Expired(created) && DrawingChangedSince(created) <= 0) return false;
    const HRESULT deleted = lock.Delete();  // a read-only lock opens, and refuses its deletion
    if (SUCCEEDED(deleted)) return true;
    return KeepsBlocking(lockPath->str(), deleted);
}

bool CPsxLockFile::KeepsBlocking(const std::wstring& lockPath, HRESULT hr) {
    CLog::Instance().Write(CLog::LevelError, L"PublishPSX: Can't delete the lock file %s (hr = %X)", lockPath, hr);
    return false;
}

// A lock whose status cannot be read is not there (a share's error, a long path). One that is
// there and cannot be deleted (held open, or denied) keeps blocking, with an entry. One that
// is no plain file of ours is never deleted, and blocks no longer than a lock of ours would.
bool CPsxLockFile::MayPublishUnopened(const CCheckedPath& lockPath, HRESULT opened) const {
    WIN32_FILE_ATTRIBUTE_DATA status{};
    if (!ReadStatus(lockPath.str(), status)) return true;
    const std::int64_t created = Seconds(status.ftCreationTime);
    const int changed = Expired(created) ? 1 : DrawingChangedSince(created);
    if (changed <= 0) return false;
    if (opened == CPlainFile::kRefused) return true;
    return KeepsBlocking(lockPath.str(), opened);
}

// A creation time in the future cannot be trusted: such a lock has no age and counts as
// expired, so that no lock blocks longer than its lifetime. Exactly the lifetime still counts.
bool CPsxLockFile::Expired(std::int64_t created) {
    const std::int64_t now = Now();
    return created + kLifetimeSeconds < now || created > now;
}

// 1 when the drawing was written after the lock was created, 0 when not, -1 when its status
// cannot be read (which keeps the lock).
int CPsxLockFile::DrawingChangedSince(std::int64_t created) const {
    WIN32_FILE_ATTRIBUTE_DATA drawing{};
    if (!ReadStatus(m_drawingPath, drawing)) return -1;
    return Seconds(drawing.ftLastWriteTime) > created ? 1 : 0;
}

bool CPsxLockFile::WriteLock() const {
    const std::optional<CCheckedPath> lockPath = Lock();
    if (!lockPath) return false;
    CPlainFile file;
    if (FAILED(file.OpenForWriting(*lockPath, kOperation)) || FAILED(file.Truncate())) return false;
    // A lock deleted and written again moments later could inherit the old creation time
    // (file-name tunnelling), and an existing one keeps its own; its age starts now.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    (void)file.SetTimes(&now, nullptr);

    SYSTEMTIME local;
    GetLocalTime(&local);
    const std::wstring time = CLog::TimeText(local);
    const int length = _scwprintf(kLockFormat, time.c_str(), m_userId.c_str());
    std::wstring text(L"\xFEFF");
    if (length > 0) {
        text.resize(1 + static_cast<size_t>(length));
        _snwprintf(text.data() + 1, static_cast<size_t>(length), kLockFormat, time.c_str(), m_userId.c_str());
    }
    return SUCCEEDED(file.Write(text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t))));
}
