#pragma once
#include "CAICallbackHandler.h"
#include "support/IClientAccess.h"
#include "support/Singleton.h"
#include <cstdint>
#include <string>

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
    long CallClient(const std::wstring& command, const std::wstring& arguments);
    long SetClientEnvironment(const std::wstring& name, const std::wstring& value);
    std::wstring GetClientVariable(const std::wstring& name);
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
    long GetStartupWait();                      // milliseconds
    long GetActiveCommandWait();                // milliseconds
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

    // Document records of the client's database. An empty key never reaches the client.
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
