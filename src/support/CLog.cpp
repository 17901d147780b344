#include "CLog.h"
#include "CFinalPath.h"
#include "UniqueHandle.h"
#include <cstdarg>
#include <cstdio>

namespace {

constexpr wchar_t kLogFileName[] = L"vx17log.err";
constexpr wchar_t kVersionedModule[] = L"QELDVecta17.DLL";

// Microsoft semantics: %s is a wide string here (mingw's C99 vswprintf would read it narrow).
std::wstring FormatV(const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::wstring out(static_cast<size_t>(length), L'\0');
    _vsnwprintf(out.data(), out.size(), format, args);
    return out;
}

std::wstring Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring out = FormatV(format, args);
    va_end(args);
    return out;
}

void Append(HANDLE file, const std::wstring& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

// The log in the working folder, opened without following a link at its name and refused
// unless it is a plain file with one name there: a planted link would have the account append
// to a file of the planter's choosing. A missing log is created only where nothing stands.
UniqueHandle OpenLog() {
    constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
    UniqueHandle file(CreateFileW(kLogFileName, kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
    if (!file.valid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file.reset(CreateFileW(kLogFileName, kAccess, kShare, nullptr, CREATE_NEW, kFlags, nullptr));
        // Another process created it meanwhile.
        if (!file.valid() && GetLastError() == ERROR_FILE_EXISTS)
            file.reset(CreateFileW(kLogFileName, kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (file.valid() && (!GetFileInformationByHandle(file.get(), &information) ||
                         CFinalPath::Check(file.get(), information, kLogFileName) != CFinalPath::Finding::Plain))
        file.reset();
    return file;
}

bool IsControl(wchar_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

CLog::Shown::Shown(const wchar_t* text, size_t length) : m_text(text) {
    for (size_t i = 0; i < length; ++i) {
        if (!IsControl(text[i])) continue;
        m_escaped.assign(text, i);
        for (; i < length; ++i) {
            if (!IsControl(text[i])) {
                m_escaped += text[i];
                continue;
            }
            wchar_t code[8];
            _snwprintf(code, 8, L"\\x%02X", static_cast<unsigned>(text[i]));
            code[7] = 0;
            m_escaped += code;
        }
        return;
    }
}

// Always 24 characters, English names whatever the locale.
std::wstring CLog::TimeText(const SYSTEMTIME& t) {
    static const wchar_t* const days[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    wchar_t buffer[32];
    _snwprintf(buffer, 32, L"%ls %ls %02u %02u:%02u:%02u %04u", days[t.wDayOfWeek % 7],
               months[(t.wMonth + 11) % 12], t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear);
    buffer[31] = 0;
    return buffer;
}

void CLog::WriteFormatted(int level, const wchar_t* format, ...) noexcept {
    if (!format) return;
    try {
        va_list args;
        va_start(args, format);
        const std::wstring message = FormatV(format, args);
        va_end(args);

        std::lock_guard<std::mutex> lock(m_lock);
        UniqueHandle file = OpenLog();
        if (!file.valid()) return;  // the entry is lost; the header stays pending

        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) return;
        std::wstring text;
        if (size.QuadPart == 0) text += L'\xFEFF';

        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::wstring time = TimeText(now);
        if (m_headerPending) {
            std::wstring path, version;
            GetModuleVersion(path, version);
            text += Format(L"%24.24s :-------------------------------------------------\r\n", time.c_str());
            text += Format(L"%24.24s :CAI DLL: QELDVecta17 (%s) %s\r\n", time.c_str(), version.c_str(), path.c_str());
        }
        const wchar_t* prefix = level == LevelError ? L"%24.24s: Error: "
                                : level == LevelInfo ? L"%24.24s: Info: "
                                                     : L"%24.24s: Message: ";
        text += Format(prefix, time.c_str());
        text += message;
        text += L"\r\n";
        Append(file.get(), text);
        m_headerPending = false;
    } catch (...) {
        // A log entry that cannot be built is dropped, like one that cannot be written.
    }
}

void CLog::GetModuleVersion(std::wstring& path, std::wstring& version) {
    path = kVersionedModule;
    version = L"1.0.0.0";
    HMODULE module = GetModuleHandleW(kVersionedModule);
    if (!module) return;
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0) return;
    path.assign(buffer, length);

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return;
    std::wstring block(size / sizeof(wchar_t) + 1, L'\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info) return;
    version = Format(L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                     HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}
