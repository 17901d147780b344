#pragma once
#include "CAICallbackHandler.h"
#include "support/IClientAccess.h"
#include "support/Singleton.h"
#include <string>

// The session object: the process-wide bridge to the PDM client's settings. Holds the
// client's callback only while a Run is active; caches nothing.
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

private:
    CAICallbackHandler m_handler;
};
