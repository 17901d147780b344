#include "CSimPopupMenus.h"
#include "CSimMenuGroup.h"
#include "CSimPopupMenu.h"

std::wstring CSimPopupMenus::TraceName() const { return L"PopupMenus[" + m_group->NameText() + L"]"; }

HRESULT CSimPopupMenus::get_Count(long* count) noexcept {
    return Call(L"Count", [&](auto&) -> HRESULT {
        if (!count) return E_POINTER;
        *count = static_cast<long>(m_group->PopupMenus().size());
        return S_OK;
    });
}

HRESULT CSimPopupMenus::Item(VARIANT index, IVectaPopupMenu** menu) noexcept {
    return Call(L"Item", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(index));
        if (!menu) return E_POINTER;
        *menu = nullptr;
        return ItemAt(m_group->PopupMenus(), index, menu);
    });
}
