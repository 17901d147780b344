#include "CLog.h"
#include "CFinalPath.h"
#include "NoImpersonation.h"
#include "UniqueHandle.h"
#include <winternl.h>
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

constexpr DWORD kLogAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
constexpr DWORD kLogShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kLogFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation;

HANDLE OpenLogFile(DWORD disposition) {
    return CreateFileW(kLogFileName, kLogAccess, kLogShare, nullptr, disposition, kLogFlags, nullptr);
}

// The file's index on its volume alone: the system's information call adds the volume serial,
// which Wine reads from the device each time.
bool FileIndex(HANDLE file, LARGE_INTEGER& index) noexcept {
    constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
    IO_STATUS_BLOCK status{};
    return NT_SUCCESS(NtQueryInformationFile(file, &status, &index, sizeof index, kFileInternalInformation));
}

std::wstring WorkingFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (length >= folder.size()) {
        folder.resize(length);
        length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    }
    folder.resize(length < folder.size() ? length : 0);
    return folder;
}

bool IsControl(wchar_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// Characters that start a line for some readers or turn the text around it.
bool IsLineOrBidi(wchar_t c) noexcept {
    return c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// How many code units at text[i] are written as they are: 2 for a surrogate pair, 1 for an
// ordinary character, 0 for one that is escaped.
size_t Plain(const wchar_t* text, size_t i, size_t length) noexcept {
    const wchar_t c = text[i];
    if (IsHighSurrogate(c)) return i + 1 < length && IsLowSurrogate(text[i + 1]) ? 2 : 0;
    return IsControl(c) || IsLowSurrogate(c) || IsLineOrBidi(c) ? 0 : 1;
}

}  // namespace

CLog::Shown::Shown(const wchar_t* text, size_t length, bool asIs) : m_text(text) {
    size_t i = 0;
    while (i < length && Plain(text, i, length)) i += Plain(text, i, length);
    if (i == length) return;
    m_escaped.assign(text, i);
    while (i < length) {
        if (const size_t plain = Plain(text, i, length)) {
            m_escaped.append(text + i, plain);
            i += plain;
            continue;
        }
        const wchar_t c = text[i++];
        if (asIs && (c == L'\r' || c == L'\n')) {
            if (c == L'\r' && i < length && text[i] == L'\n') ++i;
            m_escaped += L"\r\n";
            m_escaped += kContinuation;
            continue;
        }
        wchar_t code[8];
        _snwprintf(code, 8, L"\\u%04X", static_cast<unsigned>(c));
        code[7] = 0;
        m_escaped += code;
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
        bool empty = false;
        UniqueHandle file(OpenChecked(empty));
        if (!file.valid()) return;  // the entry is lost; the header stays pending

        std::wstring text;
        if (empty) text += L'\xFEFF';

        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::wstring time = TimeText(now);
        if (m_headerPending) {
            std::wstring path, version;
            GetModuleVersion(path, version);
            text += Format(L"%24.24s :-------------------------------------------------\r\n", time.c_str());
            text += Format(L"%24.24s :CAI DLL: QELDVecta17 (%s) %s\r\n", time.c_str(), version.c_str(), path.c_str());
        }
        // "%24.24s: Error: " and the others: the time text is always 24 characters.
        text += time;
        text += level == LevelError ? L": Error: " : level == LevelInfo ? L": Info: " : L": Message: ";
        text += message;
        text += L"\r\n";
        Append(file.get(), text);
        m_headerPending = false;
    } catch (...) {
        // A log entry that cannot be built is dropped, like one that cannot be written.
    }
}

// The log in the working folder, opened without following a link at its name and refused
// unless it is a plain file with one name there: a planted link would have the account append
// to a file of the planter's choosing. A missing log is created only where nothing stands.
// The final path (and the volume, which Wine takes a millisecond to tell) is asked only for a
// file not seen before in this working folder; attributes, names and the file index, which
// cost a microsecond together, every time.
HANDLE CLog::OpenChecked(bool& empty) {
    UniqueHandle file(OpenLogFile(OPEN_EXISTING));
    if (!file.valid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file.reset(OpenLogFile(CREATE_NEW));
        // Another process created it meanwhile.
        if (!file.valid() && GetLastError() == ERROR_FILE_EXISTS) file.reset(OpenLogFile(OPEN_EXISTING));
    }
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER index{};
    if (!file.valid() || !GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) || !FileIndex(file.get(), index))
        return nullptr;
    empty = standard.EndOfFile.QuadPart == 0;
    const std::wstring folder = WorkingFolder();
    const bool seen = m_checked && index.QuadPart == m_checkedIndex && folder == m_checkedFolder &&
                      standard.NumberOfLinks <= 1 && !standard.Directory &&
                      !(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!seen) {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(file.get(), &information) ||
            CFinalPath::Check(file.get(), information, kLogFileName) != CFinalPath::Finding::Plain)
            return nullptr;
        m_checked = true;
        m_checkedIndex = index.QuadPart;
        m_checkedFolder = folder;
    }
    return file.release();
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
