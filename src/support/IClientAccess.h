#pragma once
#include <string>

// What the support services need from the PDM client, provided by the session object.
// Kept abstract so that support/ depends on nothing above it.
class IClientAccess {
public:
    // The client's answer, or the empty text for a missing, failed or "!" answer.
    virtual std::wstring Evaluate(const std::wstring& expression) = 0;
    // The client's text for a message key (the key itself when there is none).
    virtual std::wstring GetUserMessage(const std::wstring& key, bool expand) = 0;

    virtual std::wstring GetAddIns() = 0;
    virtual std::wstring GetZepFolder() = 0;
    virtual std::wstring GetWorkspacePath() = 0;
    // Raw answers: a "!" answer passes through.
    virtual std::wstring GetEnforcePsxOptions() = 0;
    virtual std::wstring GetPublishOptionsPath() = 0;
    // The found file's path, or empty.
    virtual std::wstring FindClientFile(const std::wstring& name, const std::wstring& options) = 0;
    // The client's write right on the document record with this key.
    virtual bool HasWriteRight(const std::wstring& key) = 0;

protected:
    ~IClientAccess() = default;
};
