#pragma once
#include "CDrawing.h"
#include "CSimObject.h"
#include <map>

// One open drawing. Stays a valid COM object after it is closed; every call on it then fails.
class CSimDocument : public CSimObject<IVectaDocument> {
public:
    CSimDocument(CSimHost& host, CDrawing drawing, std::wstring fullName, std::wstring untitledName, bool readOnly);

    HRESULT STDMETHODCALLTYPE get_FullName(BSTR* fullName) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ReadOnly(VARIANT_BOOL* readOnly) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Saved(VARIANT_BOOL* saved) noexcept override;
    HRESULT STDMETHODCALLTYPE Save() noexcept override;
    HRESULT STDMETHODCALLTYPE SaveAs(BSTR fileName, VARIANT fileType, VARIANT security) noexcept override;
    HRESULT STDMETHODCALLTYPE Activate() noexcept override;
    HRESULT STDMETHODCALLTYPE Close(VARIANT saveChanges, VARIANT fileName) noexcept override;
    HRESULT STDMETHODCALLTYPE SendCommand(BSTR command) noexcept override;

    CDrawing& Drawing() noexcept { return m_drawing; }
    const std::wstring& FullNameText() const noexcept { return m_fullName; }
    std::wstring NameText() const;
    void MarkChanged() noexcept { m_saved = false; }
    void MarkClosed() noexcept { m_closed = true; }
    // Never saved and unchanged: what a freshly started host shows.
    bool IsUntouchedStartUp() const noexcept { return m_fullName.empty() && m_saved; }
    void SetSymbol(const std::wstring& name, const std::wstring& value) { m_symbols[name] = value; }
    std::wstring Symbol(const std::wstring& name) const;

private:
    std::wstring TraceName() const override { return L"Document[" + NameText() + L"]"; }
    HRESULT WriteTo(const std::wstring& path);

    CDrawing m_drawing;
    std::wstring m_fullName;
    std::wstring m_untitledName;
    bool m_readOnly;
    bool m_saved = true;
    bool m_closed = false;
    std::wstring m_commandLine;
    std::map<std::wstring, std::wstring> m_symbols;
};
