#pragma once
#include "CAICallbackHandler.h"
#include "support/CCommandLine.h"
#include "support/IClientAccess.h"
#include "support/Singleton.h"
#include <cstdint>
#include <string>
#include <string_view>

// The session object: the process-wide bridge to the PDM client's settings and document
// records. Holds the client's callback only while a Run is active; caches nothing, so
// every accessor is a new question to the client.
class CVantorApplication : public Singleton<CVantorApplication>, public IClientAccess {
public:
    CVantorApplication();
    virtual ~CVantorApplication();

    HRESULT SetCallback(IUnknown* object) { return m_handler.SetCallback(object); }
    ICAICallback* GetCallback() const noexcept { return m_handler.GetCallback(); }
    void ReleaseCallback() noexcept { m_handler.ReleaseCallback(); }
    const CAICallbackHandler& Handler() const noexcept { return m_handler; }

    std::wstring Evaluate(const std::wstring& expression) override;
    std::wstring Evaluate(const wchar_t* expression);  // a literal needs no string of its own
    // Evaluate's rule, keeping the client's own string (null for the empty text), for a value
    // that goes straight back to the client.
    UniqueBstr EvaluateText(const wchar_t* expression);
    // Evaluate's rule read as a number (0 for no value), without a string of its own.
    long EvaluateInteger(const wchar_t* expression);
    long CallClient(const wchar_t* command, const CCommandLine& arguments);
    // Every Run asks for at least one variable; the expressions are built without a string.
    long SetClientEnvironment(std::wstring_view name, std::wstring_view value);
    std::wstring GetClientVariable(std::wstring_view name);
    std::wstring GetUserMessage(const std::wstring& key, bool expand) override;

    // Settings of the CAD integration.
    std::wstring GetProfile();
    std::wstring GetApplicationName();
    std::wstring GetExeFileName();
    std::wstring GetOpenArgument();
    std::wstring GetHostVersion();
    std::wstring GetAddIns() override;
    std::wstring GetTemplatePath();
    std::wstring GetApplTemplatePath();
    std::wstring GetWorkspacePath() override;  // ends with "/"
    long GetStartupWait();                      // milliseconds, at most one hour
    long GetActiveCommandWait();                // milliseconds, at most one hour
    long GetLogLevel();
    // Seconds since 1970 UTC, 0 for none; deadline is set to 0 first, a null one is left alone.
    void GetJobDeadline(std::int64_t* deadline);
    std::wstring GetLastProfile();
    void SetLastProfile(const std::wstring& profile);
    bool IsJobServer();
    std::wstring GetEnforcePsxOptions() override;
    std::wstring GetPublishOptionsPath() override;
    std::wstring GetZepFolder() override;  // ends with "\"

    // Files found on the client's search path; empty when not found.
    std::wstring FindClientFile(const std::wstring& name, const std::wstring& options = {}) override;
    std::wstring FindTitleBlockIni();
    std::wstring FindBomIni();
    std::wstring FindTitleImportIni();
    std::wstring FindMenuFile();
    // Has the client write "qel.lsp" into the workspace from its "qel.vor"; true on success.
    bool PrepareQelLisp();

    // Document records of the client's database. An empty key never reaches the client, nor
    // does one that is no identifier (refused with an Error entry).
    long ReportObsoleteDocuments();
    bool HasWriteRight(const std::wstring& key) override;
    std::wstring GetOldDocumentKey(const std::wstring& key);
    long ClearOldDocumentKey(const std::wstring& key);
    // "old new|" per reference of the parent whose document has a previous key, last first.
    std::wstring GetQelKeyPairList(const std::wstring& parentKey);

private:
    std::wstring EvaluateRaw(const std::wstring& expression);

    CAICallbackHandler m_handler;
};
