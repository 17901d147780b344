#include "CSimMenuGroups.h"
#include "CSimMenuGroup.h"

HRESULT CSimMenuGroups::get_Count(long* count) noexcept {
    return Call(L"Count", [&](auto&) -> HRESULT {
        if (!count) return E_POINTER;
        *count = static_cast<long>(m_host.MenuGroups().size());
        return S_OK;
    });
}

HRESULT CSimMenuGroups::Item(VARIANT index, IVectaMenuGroup** group) noexcept {
    return Call(L"Item", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(index));
        if (!group) return E_POINTER;
        *group = nullptr;
        const auto& groups = m_host.MenuGroups();
        if (V_VT(&index) != VT_BSTR) return ItemAt(groups, index, group);
        for (const auto& candidate : groups) {
            if (lstrcmpiW(candidate->NameText().c_str(), V_BSTR(&index) ? V_BSTR(&index) : L"") == 0) {
                *group = candidate.get();
                candidate->AddRef();
                return S_OK;
            }
        }
        return E_INVALIDARG;
    });
}

HRESULT CSimMenuGroups::Load(BSTR menuFile, VARIANT baseMenu, IVectaMenuGroup** group) noexcept {
    return Call(L"Load", [&](auto& args) -> HRESULT {
        args = {CTrace::Text(menuFile), CTrace::Arg(baseMenu)};
        if (!group) return E_POINTER;
        *group = nullptr;
        ComPtr<CSimMenuGroup> loaded;
        RETURN_IF_FAILED(CSimMenuGroup::FromFile(m_host, menuFile ? menuFile : L"", loaded));
        for (const auto& existing : m_host.MenuGroups())
            if (lstrcmpiW(existing->NameText().c_str(), loaded->NameText().c_str()) == 0) return E_FAIL;
        m_host.MenuGroups().push_back(loaded);
        *group = loaded.detach();
        return S_OK;
    });
}
