#include "CUtils.h"
#include "ApartmentWait.h"
#include "COutsideValue.h"
#include "CPlainFile.h"
#include "CProductIdentity.h"
#include "ClientText.h"
#include "NoImpersonation.h"
#include "ResultMacros.h"
#include "UniqueHandle.h"
#include <cstdio>
#include <cwctype>

namespace {

constexpr UINT kMessageBoxFlags = MB_SETFOREGROUND | MB_TOPMOST;
constexpr wchar_t kPublishOptionsFile[] = L"Publish Options.xml";
constexpr wchar_t kOperation[] = L"UpdatePublishOptions";
constexpr wchar_t kPublishOptionsCopied[] = L"Successfully copied or updated Publish Options.xml file";

// Stands in for the session object outside a component.
class NoClient final : public IClientAccess {};

int DefaultMessageBox(const std::wstring& text, const std::wstring& caption, UINT style) {
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
}

CUtils::MessageBoxFunction g_messageBox = DefaultMessageBox;

std::wstring Trimmed(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The read-only attribute, then the system asked for write access (the file's security):
// a missing file may still be created, and a file that another program holds open (the
// host has the drawing open) is locked, not forbidden. The attribute is read on its own
// because a privileged account may open a read-only file for writing.
bool WriteRefused(const CCheckedPath& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return !IsMissing(GetLastError());
    if (attributes & FILE_ATTRIBUTE_READONLY) return true;
    UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr));
    if (file.valid()) return false;
    const DWORD error = GetLastError();
    return !IsMissing(error) && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION;
}

// An unreadable status counts as the earliest time.
FILETIME LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
    return data.ftLastWriteTime;
}

// The system's text for an error code, without the line break it ends with.
std::wstring SystemErrorText(DWORD code) {
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 512, nullptr);
    const std::wstring text = Trimmed(std::wstring(buffer, length));
    if (text.empty()) return L"There is an error, the error code is " + std::to_wstring(code);
    return text;
}

// The client's options file over the workspace's copy, content and last-write time as a file
// copy gives them; the copy in the shared workspace is opened without following a link. The
// system's error code, 0 on success.
DWORD CopyPublishOptions(const CCheckedPath& source, const CCheckedPath& destination, bool present) {
    UniqueHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | kNoImpersonation, nullptr));
    FILETIME written{};
    if (!from.valid() || !GetFileTime(from.get(), nullptr, nullptr, &written)) return GetLastError();
    if (present) {
        CPlainFile existing;
        const HRESULT opened = existing.OpenExisting(destination, FILE_WRITE_ATTRIBUTES, kOperation);
        if (opened == CPlainFile::kRefused) return HRESULT_CODE(opened);
        if (SUCCEEDED(opened)) (void)existing.SetAttributes(FILE_ATTRIBUTE_NORMAL);
    }
    CPlainFile copy;
    HRESULT hr = copy.OpenForWriting(destination, kOperation);
    if (FAILED(hr)) return HRESULT_CODE(hr);
    hr = copy.Truncate();
    if (SUCCEEDED(hr)) hr = copy.CopyFrom(from.get());
    if (SUCCEEDED(hr)) hr = copy.SetTimes(nullptr, &written);
    // Like a failed file copy, no half-written copy is left.
    if (FAILED(hr)) (void)copy.Delete();
    return HRESULT_CODE(hr);
}

}  // namespace

CUtils::MessageBoxFunction CUtils::SetMessageBoxFunction(MessageBoxFunction function) noexcept {
    MessageBoxFunction previous = g_messageBox;
    g_messageBox = function ? function : DefaultMessageBox;
    return previous;
}

// No Run goes on before the settings are read: a job server's first Run must already be quiet.
// Waiting on another Run's client is bounded, because that client may never answer; reading
// again from this Run's own client then costs two questions more. A Run that the client
// re-entered from its answer while this thread reads them cannot wait for itself.
void CUtils::InitFromClient() {
    if (m_initialised.load(std::memory_order_acquire)) return;
    const DWORD self = GetCurrentThreadId();
    DWORD reader = 0;
    if (!m_settingsReader.compare_exchange_strong(reader, self) && reader != self &&
        m_settingsRead.valid() && WaitServingCalls(m_settingsRead.get(), kSettingsWaitMs))
        return;
    ReadSettings();
}

void CUtils::ReadSettings() {
    const std::wstring jobServer = Client().Evaluate(L"$(JobServerRunning:-0)");
    const bool quiet = !jobServer.empty() && ClientText::ToInteger(jobServer) == 1;
    const long threshold = ClientText::ToInteger(Client().Evaluate(L"#(Appl:LogLevel)"));
    const bool wow64 = IsWow64();
    // A later read would undo what a Run that read first has set since (QELDSETLOGLEVEL).
    std::lock_guard<std::mutex> lock(m_settingsLock);
    if (m_initialised.load(std::memory_order_relaxed)) return;
    m_quiet = quiet;
    m_log.SetThreshold(threshold);
    m_wow64 = wow64;
    m_initialised.store(true, std::memory_order_release);
    SetEvent(m_settingsRead.get());
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

IClientAccess& CUtils::Client() noexcept {
    static NoClient none;
    return m_client ? *m_client : none;
}

std::wstring CUtils::Caption() { return Client().GetUserMessage(L"VX16003", true); }

void CUtils::ShowMessage(const std::wstring& text, UINT style) {
    if (text.empty()) return;
    if (IsQuiet()) {
        WriteLog(LevelMessage, L"%s", CLog::AsIs{text});
        return;
    }
    g_messageBox(text, Caption(), style | kMessageBoxFlags);
}

int CUtils::AskMessage(const std::wstring& text, int defaultAnswer, UINT style) {
    return AskMessage(text, defaultAnswer, style, {});
}

// An empty caption is read from the client, and only when the question is shown.
int CUtils::AskMessage(const std::wstring& text, int defaultAnswer, UINT style, const std::wstring& caption) {
    if (text.empty()) return defaultAnswer;
    if (IsQuiet()) {
        WriteLog(LevelMessage, L"%s: %d", CLog::AsIs{text}, defaultAnswer);
        return defaultAnswer;
    }
    return g_messageBox(text, caption.empty() ? Caption() : caption, style | kMessageBoxFlags);
}

CUtils::AddInPosition CUtils::LoadAddInList() {
    AddInPosition list;
    std::wstring rest = Client().GetAddIns();
    while (!rest.empty()) {
        const size_t comma = rest.find(L',');
        list.m_entries.push_back(Trimmed(rest.substr(0, comma)));
        rest = comma == std::wstring::npos ? std::wstring() : rest.substr(comma + 1);
    }
    return list;
}

std::wstring CUtils::GetNextAddInPath(AddInPosition& position, bool* refused) {
    if (refused) *refused = false;
    if (!position) return {};
    const std::wstring& entry = position.m_entries[position.m_next++];
    // An empty name between two commas names no file; the bare folder is no add-in.
    if (entry.empty()) return {};

    std::wstring path = Client().GetZepFolder() + entry;
    // The component's own add-ins always come from the add-in folder. Others are looked for
    // there only when it is absolute: a relative one would be the host's working folder.
    const bool own = entry.rfind(L"qeld", 0) == 0 || entry.rfind(L"QELD", 0) == 0;
    if (!own && !(COutsideValue::IsAbsolute(path) && Exists(path))) path = Client().FindClientFile(entry, {});
    if (path.empty()) return path;
    if (const std::optional<CCheckedPath> checked = COutsideValue::Path(L"GetNextAddInPath", path)) return checked->str();
    if (refused) *refused = true;
    return {};
}

bool CUtils::CheckWritePermission(const std::wstring& path, const std::wstring& key, const std::wstring& caller) {
    if (path.empty() || key.empty()) return false;
    const std::optional<CCheckedPath> checked = COutsideValue::Path(caller.c_str(), path);
    if (!checked) return false;
    if (WriteRefused(*checked)) {
        WriteLog(LevelError, L"%s: No write permission for the file %s", caller, path);
        return false;
    }
    if (Client().HasWriteRight(key)) return true;
    const std::wstring format = L"%s: No write permission for the document in " +
                                CProductIdentity::Instance().DisplayName() + L": QELKEY = %s";
    WriteLog(LevelError, format.c_str(), caller, key);
    return false;
}

void CUtils::UpdatePublishOptions() {
    IClientAccess& client = Client();
    const std::wstring workspace = client.GetWorkspacePath();
    if (workspace.empty()) {
        // A relative destination would land in the client's working folder.
        WriteLog(LevelError, L"UpdatePublishOptions: No workspace folder, %s not copied.", kPublishOptionsFile);
        return;
    }
    // A relative source (an unset client folder) would be read from the working folder, a relative
    // destination written there.
    const std::optional<CCheckedPath> source = COutsideValue::Path(kOperation, client.GetPublishOptionsPath());
    const std::optional<CCheckedPath> folder = source ? COutsideValue::Path(kOperation, workspace) : std::nullopt;
    const std::optional<COwnFileName> name = folder ? COutsideValue::OwnFileName(kOperation, kPublishOptionsFile) : std::nullopt;
    if (!name) return;
    const CCheckedPath destination = folder->Child(*name);

    std::wstring text = L"Publish Option.xml is up-to-date. No copy required.";
    const bool present = Exists(destination.str());
    bool copy = true;
    if (!present)
        text = kPublishOptionsCopied;
    else if (client.GetEnforcePsxOptions() == L"1")
        text = L"Successfully overwritten Publish Options.xml file";
    else {
        const FILETIME sourceTime = LastWriteTime(source->str()), destinationTime = LastWriteTime(destination.str());
        copy = CompareFileTime(&sourceTime, &destinationTime) > 0;
        if (copy) text = kPublishOptionsCopied;
    }

    bool failed = false;
    if (copy) {
        const DWORD error = CopyPublishOptions(*source, destination, present);
        if (error != ERROR_SUCCESS) {
            text = L"Failed to copy file Publish Options.xml." + SystemErrorText(error);
            failed = true;
        }
    }
    WriteLog(failed ? LevelError : LevelInfo, L"%s", text);
}
