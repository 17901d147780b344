#include "CSimPopupMenu.h"
#include "support/UniqueBstr.h"
#include <algorithm>

bool CSimPopupMenu::IsOnMenuBar() const {
    const auto& bar = m_host.MenuBar();
    return std::any_of(bar.begin(), bar.end(), [this](const auto& m) { return m.get() == this; });
}

void CSimPopupMenu::TakeOffMenuBar() {
    std::erase_if(m_host.MenuBar(), [this](const auto& m) { return m.get() == this; });
}

HRESULT CSimPopupMenu::get_Name(BSTR* name) noexcept {
    return Call(L"Name", [&](auto&) -> HRESULT {
        if (!name) return E_POINTER;
        *name = UniqueBstr(m_name).release();
        return S_OK;
    });
}

HRESULT CSimPopupMenu::get_OnMenuBar(VARIANT_BOOL* shown) noexcept {
    return Call(L"OnMenuBar", [&](auto&) -> HRESULT {
        if (!shown) return E_POINTER;
        *shown = IsOnMenuBar() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CSimPopupMenu::InsertInMenuBar(VARIANT index) noexcept {
    return Call(L"InsertInMenuBar", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(index));
        if (IsOnMenuBar()) return E_FAIL;
        LONG requested = 0;
        if (!CVariantArg::ToLong(index, requested) || requested < 0) return E_INVALIDARG;
        // Like the host, an index past the end appends.
        auto& bar = m_host.MenuBar();
        const size_t position = std::min(static_cast<size_t>(requested), bar.size());
        bar.insert(bar.begin() + static_cast<std::ptrdiff_t>(position), ComPtr<CSimPopupMenu>(this));
        return S_OK;
    });
}

HRESULT CSimPopupMenu::RemoveFromMenuBar() noexcept {
    return Call(L"RemoveFromMenuBar", [&](auto&) -> HRESULT {
        if (!IsOnMenuBar()) return E_FAIL;
        TakeOffMenuBar();
        return S_OK;
    });
}
