#include "CUtils.h"
#include "ClientText.h"
#include "UniqueHandle.h"
#include <cstdarg>
#include <cstdio>

namespace {

constexpr wchar_t kLogFileName[] = L"vx17log.err";
constexpr wchar_t kVersionedModule[] = L"QELDVecta17.DLL";
constexpr UINT kMessageBoxFlags = MB_SETFOREGROUND | MB_TOPMOST;

int DefaultMessageBox(const std::wstring& text, const std::wstring& caption, UINT style) {
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
}

CUtils::MessageBoxFunction g_messageBox = DefaultMessageBox;

// "Www Mmm dd hh:mm:ss yyyy", always 24 characters, English names whatever the locale.
std::wstring TimeText(const SYSTEMTIME& t) {
    static const wchar_t* const days[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    wchar_t buffer[32];
    _snwprintf(buffer, 32, L"%ls %ls %02u %02u:%02u:%02u %04u", days[t.wDayOfWeek % 7],
               months[(t.wMonth + 11) % 12], t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear);
    buffer[31] = 0;
    return buffer;
}

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

}  // namespace

CUtils::MessageBoxFunction CUtils::SetMessageBoxFunction(MessageBoxFunction function) noexcept {
    MessageBoxFunction previous = g_messageBox;
    g_messageBox = function ? function : DefaultMessageBox;
    return previous;
}

void CUtils::WriteLogFormatted(int level, const wchar_t* format, ...) noexcept {
    if (level > m_logThreshold || !format) return;
    try {
        UniqueHandle file(CreateFileW(kLogFileName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
        va_list args;
        va_start(args, format);
        text += FormatV(format, args);
        va_end(args);
        text += L"\r\n";
        Append(file.get(), text);
        m_headerPending = false;
    } catch (...) {
        // A log entry that cannot be built is dropped, like one that cannot be written.
    }
}

void CUtils::GetModuleVersion(std::wstring& path, std::wstring& version) const {
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

void CUtils::InitFromClient() {
    if (m_initialised) return;
    m_initialised = true;
    if (m_client) {
        const std::wstring jobServer = m_client->Evaluate(L"$(JobServerRunning:-0)");
        m_quiet = !jobServer.empty() && ClientText::ToInteger(jobServer) == 1;
        m_logThreshold = ClientText::ToInteger(m_client->Evaluate(L"#(Appl:LogLevel)"));
    }
    m_wow64 = IsWow64();
}

bool CUtils::IsWow64() noexcept {
    HMODULE kernel = nullptr;
    wchar_t system[262] = {};
    const UINT length = GetSystemDirectoryW(system, 261);
    if (length > 0 && length < 261) {
        wchar_t path[MAX_PATH + 20] = {};
        if (_snwprintf(path, MAX_PATH + 19, L"%s\\kernel32.dll", system) > 0) kernel = LoadLibraryW(path);
    }
    if (!kernel) kernel = LoadLibraryW(L"kernel32.dll");
    if (!kernel) return false;

    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    const bool answered = isWow64Process && isWow64Process(GetCurrentProcess(), &wow64);
    FreeLibrary(kernel);
    return answered && wow64;
}

std::wstring CUtils::Caption() {
    return m_client ? m_client->GetUserMessage(L"VX16003", true) : std::wstring(L"VX16003");
}

void CUtils::ShowMessage(const std::wstring& text, UINT style) {
    if (text.empty()) return;
    if (m_quiet) {
        WriteLog(LevelMessage, L"%s", text);
        return;
    }
    g_messageBox(text, Caption(), style | kMessageBoxFlags);
}

int CUtils::AskMessage(const std::wstring& text, int defaultAnswer, UINT style) {
    if (text.empty()) return defaultAnswer;
    if (m_quiet) {
        WriteLog(LevelMessage, L"%s: %d", text, defaultAnswer);
        return defaultAnswer;
    }
    return g_messageBox(text, Caption(), style | kMessageBoxFlags);
}
