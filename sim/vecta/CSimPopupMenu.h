#pragma once
#include "CSimObject.h"

// One popup menu of a menu group; may be shown in the menu bar.
class CSimPopupMenu : public CSimObject<IVectaPopupMenu> {
public:
    CSimPopupMenu(CSimHost& host, std::wstring name) : CSimObject(host), m_name(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) noexcept override;
    HRESULT STDMETHODCALLTYPE get_OnMenuBar(VARIANT_BOOL* shown) noexcept override;
    HRESULT STDMETHODCALLTYPE InsertInMenuBar(VARIANT index) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveFromMenuBar() noexcept override;

    const std::wstring& NameText() const noexcept { return m_name; }
    bool IsOnMenuBar() const;
    void TakeOffMenuBar();

private:
    std::wstring TraceName() const override { return L"PopupMenu[" + m_name + L"]"; }

    std::wstring m_name;
};
