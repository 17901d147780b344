#pragma once
#include "CSimObject.h"

class CSimPopupMenu;

// A loaded menu group: its name and popup menus come from the menu file (README.md).
class CSimMenuGroup : public CSimObject<IVectaMenuGroup> {
public:
    CSimMenuGroup(CSimHost& host, std::wstring name, std::wstring fileName, const std::vector<std::wstring>& menus);
    // Reads "<pathWithoutExtension>.mns": "***MENUGROUP=<name>", and per "***POPn" section its
    // first "[label]" line as the popup menu's name.
    [[nodiscard]] static HRESULT FromFile(CSimHost& host, const std::wstring& pathWithoutExtension,
                                          ComPtr<CSimMenuGroup>& out);

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) noexcept override;
    HRESULT STDMETHODCALLTYPE get_MenuFileName(BSTR* fileName) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Menus(IVectaPopupMenus** menus) noexcept override;
    HRESULT STDMETHODCALLTYPE Unload() noexcept override;

    const std::wstring& NameText() const noexcept { return m_name; }
    const std::vector<ComPtr<CSimPopupMenu>>& PopupMenus() const noexcept { return m_menus; }

private:
    std::wstring TraceName() const override { return L"MenuGroup[" + m_name + L"]"; }

    std::wstring m_name;
    std::wstring m_fileName;
    std::vector<ComPtr<CSimPopupMenu>> m_menus;
    bool m_unloaded = false;
};
