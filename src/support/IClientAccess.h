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

protected:
    ~IClientAccess() = default;
};
