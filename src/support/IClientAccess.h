#pragma once
#include <string>

// What the support services need from the PDM client, provided by the session object.
// Kept abstract so that support/ depends on nothing above it. The bodies here are what an
// absent client answers: empty texts, no write right, a message key as its own text.
class IClientAccess {
public:
    // The client's answer, or the empty text for a missing, failed or "!" answer.
    virtual std::wstring Evaluate(const std::wstring&) { return {}; }
    // The client's text for a message key (the key itself when there is none).
    virtual std::wstring GetUserMessage(const std::wstring& key, bool) { return key; }

    virtual std::wstring GetAddIns() { return {}; }
    virtual std::wstring GetZepFolder() { return {}; }
    virtual std::wstring GetWorkspacePath() { return {}; }
    // Raw answers: a "!" answer passes through.
    virtual std::wstring GetEnforcePsxOptions() { return {}; }
    virtual std::wstring GetPublishOptionsPath() { return {}; }
    // The found file's path, or empty.
    virtual std::wstring FindClientFile(const std::wstring&, const std::wstring&) { return {}; }
    // The client's write right on the document record with this key.
    virtual bool HasWriteRight(const std::wstring&) { return false; }

protected:
    ~IClientAccess() = default;
};
