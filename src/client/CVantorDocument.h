#pragma once
#include "CAICallbackHandler.h"
#include <string>

// The document properties of one CAI_Call object, read through its own callback handler.
class CVantorDocument {
public:
    CVantorDocument() = default;
    virtual ~CVantorDocument() = default;

    HRESULT SetCallback(IUnknown* object) { return m_handler.SetCallback(object); }
    ICAICallback* GetCallback() const noexcept { return m_handler.GetCallback(); }
    void ReleaseCallback() noexcept { m_handler.ReleaseCallback(); }

    std::wstring Evaluate(const std::wstring& expression) const;

private:
    CAICallbackHandler m_handler;
};
