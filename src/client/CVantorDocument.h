#pragma once
#include "CAICallbackHandler.h"
#include <string>

// The document properties of one CAI_Call object, read through its own callback handler.
// Nothing is kept: every accessor asks the client anew.
class CVantorDocument {
public:
    CVantorDocument() = default;
    virtual ~CVantorDocument() = default;

    HRESULT SetCallback(IUnknown* object) { return m_handler.SetCallback(object); }
    ICAICallback* GetCallback() const noexcept { return m_handler.GetCallback(); }
    void ReleaseCallback() noexcept { m_handler.ReleaseCallback(); }
    const CAICallbackHandler& Handler() const noexcept { return m_handler; }

    std::wstring Evaluate(const std::wstring& expression) const;

    std::wstring GetQelkey() const;
    std::wstring GetFileType() const;
    std::wstring GetContainerKey() const;
    std::wstring GetContainerFileType() const;
    std::wstring GetCreateLocalDrawing() const;
    std::wstring GetTemplate0() const;
    std::wstring GetQNewTemplate() const;
    std::wstring GetContainerAutoPsx() const;
    // The raw answer: one beginning with "!" is kept, so the document counts as managed.
    std::wstring GetQelkeyFromPath(const std::wstring& path) const;

private:
    CAICallbackHandler m_handler;
};
