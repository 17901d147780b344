#pragma once
#include "CLog.h"
#include "CRunContext.h"
#include "IClientAccess.h"
#include "Singleton.h"
#include "UniqueHandle.h"
#include <windows.h>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The utility object: the way to the log, the quiet flag, user messages, the
// once-per-process settings read from the client, the host add-in list, the write check
// for a document and the refresh of the host's publishing options file.
class CUtils : public Singleton<CUtils> {
public:
    static constexpr int LevelError = CLog::LevelError;
    static constexpr int LevelInfo = CLog::LevelInfo;
    static constexpr int LevelMessage = CLog::LevelMessage;

    // Shows a message box; replaced by tests, since nobody can click one there.
    using MessageBoxFunction = int (*)(const std::wstring& text, const std::wstring& caption, UINT style);
    static MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) noexcept;

    CUtils() = default;
    virtual ~CUtils() = default;

    // An entry in the process's log (see CLog::Write).
    template <class... Args>
    void WriteLog(int level, const wchar_t* format, const Args&... args) noexcept {
        m_log.Write(level, format, args...);
    }

    // Returns once the settings are read: by the first Run of the process, which another
    // thread's Run waits for (a while, then it reads them itself), or by this thread, also
    // when a Run of this thread is reading them further out.
    void InitFromClient();
    static bool IsWow64() noexcept;

    void ShowMessage(const std::wstring& text, UINT style);
    int AskMessage(const std::wstring& text, int defaultAnswer, UINT style);
    // As above, with the caption read already (a thread that cannot reach the client).
    int AskMessage(const std::wstring& text, int defaultAnswer, UINT style, const std::wstring& caption);

    // One connection's add-in list and the entry it has reached; false after the last. Each
    // connection owns its own: two connections loading at once never read each other's.
    class AddInPosition {
    public:
        explicit operator bool() const noexcept { return m_next < m_entries.size(); }

    private:
        friend class CUtils;
        std::vector<std::wstring> m_entries;
        size_t m_next = 0;
    };
    // The list of the client's comma-separated add-in names.
    AddInPosition LoadAddInList();
    // Full path of the entry at position, which moves on; empty when there is no file, and
    // when the path is not absolute or holds a control character (refused with an Error
    // entry; refused is then set when given).
    std::wstring GetNextAddInPath(AddInPosition& position, bool* refused = nullptr);

    // Refuses (with an Error entry naming caller) when the file exists and may not be
    // written, or when the client denies the write right on the record.
    bool CheckWritePermission(const std::wstring& path, const std::wstring& key, const std::wstring& caller);
    // Copies the client's "Publish Options.xml" into the workspace when it is missing,
    // enforced or older there.
    void UpdatePublishOptions();

    // The session object that answers client questions; null outside a component.
    void SetClientAccess(IClientAccess* client) noexcept { m_client = client; }

    long GetLogThreshold() const noexcept { return m_log.Threshold(); }
    void SetLogThreshold(long threshold) noexcept { m_log.SetThreshold(threshold); }
    // The client's flag, or the quiet scope of the calling thread's Run.
    bool IsQuiet() const noexcept { return m_quiet || CRunContext::CurrentQuiet(); }
    void SetQuiet(bool quiet) noexcept { m_quiet = quiet; }
    bool IsWow64Flag() const noexcept { return m_wow64; }

private:
    // Reads the settings from the client of this thread's Run; the first read to end is kept.
    void ReadSettings();
    static constexpr DWORD kSettingsWaitMs = 5000;
    IClientAccess& Client() noexcept;
    std::wstring Caption();

    // Several Run threads and the cancel thread share these: the settings are atomic.
    CLog& m_log = CLog::Instance();  // outlives this object (the module deletes it last)
    std::atomic<bool> m_quiet{false};
    std::atomic<bool> m_initialised{false};  // set under m_settingsLock, after the settings
    std::atomic<bool> m_wow64{false};
    std::mutex m_settingsLock;
    std::atomic<DWORD> m_settingsReader{0};  // the thread whose Run reads the settings first
    UniqueHandle m_settingsRead{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // set with m_initialised
    IClientAccess* m_client = nullptr;
};
