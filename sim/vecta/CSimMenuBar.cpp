#include "CSimMenuBar.h"
#include "CSimPopupMenu.h"

HRESULT CSimMenuBar::get_Count(long* count) noexcept {
    return Call(L"Count", [&](auto&) -> HRESULT {
        if (!count) return E_POINTER;
        *count = static_cast<long>(m_host.MenuBar().size());
        return S_OK;
    });
}

HRESULT CSimMenuBar::Item(VARIANT index, IVectaPopupMenu** menu) noexcept {
    return Call(L"Item", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(index));
        if (!menu) return E_POINTER;
        *menu = nullptr;
        return ItemAt(m_host.MenuBar(), index, menu);
    });
}
