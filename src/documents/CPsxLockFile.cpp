#include "CPsxLockFile.h"
#include "client/CVantorApplication.h"
#include "support/CUtils.h"
#include "support/UniqueHandle.h"

namespace {

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
    const std::wstring fileName = drawingPath.substr(drawingPath.rfind(L'\\') + 1);
    // Cut at the last dot: a name without one leaves nothing, so all such drawings share ".psxlck".
    const size_t dot = fileName.rfind(L'.');
    m_lockPath = session.GetWorkspacePath() + (dot == std::wstring::npos ? L"" : fileName.substr(0, dot)) + kLockExtension;
    m_userId = session.GetClientVariable(L"USERID");
}

bool CPsxLockFile::MayPublish() const {
    WIN32_FILE_ATTRIBUTE_DATA lock{};
    if (!ReadStatus(m_lockPath, lock)) return true;
    const std::int64_t created = Seconds(lock.ftCreationTime);
    if (created + kLifetimeSeconds < Now()) return DeleteFileW(m_lockPath.c_str()) != FALSE;

    WIN32_FILE_ATTRIBUTE_DATA drawing{};
    if (!ReadStatus(m_drawingPath, drawing)) return false;
    if (Seconds(drawing.ftLastWriteTime) > created) return DeleteFileW(m_lockPath.c_str()) != FALSE;
    return false;
}

bool CPsxLockFile::WriteLock() const {
    UniqueHandle file(CreateFileW(m_lockPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    // A lock deleted and written again moments later could inherit the old creation time
    // (file-name tunnelling) and expire at once; its age starts now.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SetFileTime(file.get(), &now, nullptr, nullptr);

    SYSTEMTIME local;
    GetLocalTime(&local);
    const std::wstring time = CUtils::TimeText(local);
    const int length = _scwprintf(kLockFormat, time.c_str(), m_userId.c_str());
    std::wstring text(L"\xFEFF");
    if (length > 0) {
        text.resize(1 + static_cast<size_t>(length));
        _snwprintf(text.data() + 1, static_cast<size_t>(length), kLockFormat, time.c_str(), m_userId.c_str());
    }
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    return WriteFile(file.get(), text.data(), bytes, &written, nullptr) && written == bytes;
}
