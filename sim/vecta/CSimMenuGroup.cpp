#include "CSimMenuGroup.h"
#include "CSimPopupMenu.h"
#include "CSimPopupMenus.h"
#include "CTextFile.h"
#include "support/UniqueBstr.h"

CSimMenuGroup::CSimMenuGroup(CSimHost& host, std::wstring name, std::wstring fileName,
                             const std::vector<std::wstring>& menus)
    : CSimObject(host), m_name(std::move(name)), m_fileName(std::move(fileName)) {
    for (const auto& menu : menus) m_menus.push_back(MakeSimObject<CSimPopupMenu>(host, menu));
}

HRESULT CSimMenuGroup::FromFile(CSimHost& host, const std::wstring& pathWithoutExtension,
                                ComPtr<CSimMenuGroup>& out) {
    const std::wstring fileName = pathWithoutExtension + L".mns";
    std::wstring text;
    if (!CTextFile::Read(fileName, text)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    std::wstring name;
    std::vector<std::wstring> menus;
    bool titleNext = false;  // the first label after "***POPn" names that popup menu
    for (const auto& line : CTextFile::Lines(text)) {
        if (line.rfind(L"***MENUGROUP=", 0) == 0) {
            name = line.substr(13);
        } else if (line.rfind(L"***POP", 0) == 0) {
            titleNext = true;
        } else if (titleNext && line.size() > 2 && line[0] == L'[' && line.find(L']') != std::wstring::npos) {
            menus.push_back(line.substr(1, line.find(L']') - 1));
            titleNext = false;
        }
    }
    if (name.empty()) return E_INVALIDARG;
    if (menus.empty()) menus.push_back(name);
    out = MakeSimObject<CSimMenuGroup>(host, name, fileName, menus);
    return S_OK;
}

HRESULT CSimMenuGroup::get_Name(BSTR* name) noexcept {
    return Call(L"Name", [&](auto&) -> HRESULT {
        if (!name) return E_POINTER;
        *name = UniqueBstr(m_name).release();
        return S_OK;
    });
}

HRESULT CSimMenuGroup::get_MenuFileName(BSTR* fileName) noexcept {
    return Call(L"MenuFileName", [&](auto&) -> HRESULT {
        if (!fileName) return E_POINTER;
        *fileName = nullptr;
        if (m_unloaded) return E_FAIL;
        *fileName = UniqueBstr(m_fileName).release();
        return S_OK;
    });
}

HRESULT CSimMenuGroup::get_Menus(IVectaPopupMenus** menus) noexcept {
    return Call(L"Menus", [&](auto&) -> HRESULT {
        if (!menus) return E_POINTER;
        *menus = nullptr;
        if (m_unloaded) return E_FAIL;
        *menus = MakeSimObject<CSimPopupMenus>(m_host, ComPtr<CSimMenuGroup>(this)).detach();
        return S_OK;
    });
}

HRESULT CSimMenuGroup::Unload() noexcept {
    return Call(L"Unload", [&](auto&) -> HRESULT {
        if (m_unloaded) return E_FAIL;
        m_unloaded = true;
        for (const auto& menu : m_menus) menu->TakeOffMenuBar();
        std::erase_if(m_host.MenuGroups(), [this](const auto& g) { return g.get() == this; });
        return S_OK;
    });
}
