#pragma once
#include "CSimObject.h"

class CSimMenuGroup;

// The popup menus of one menu group.
class CSimPopupMenus : public CSimObject<IVectaPopupMenus> {
public:
    CSimPopupMenus(CSimHost& host, ComPtr<CSimMenuGroup> group) : CSimObject(host), m_group(std::move(group)) {}

    HRESULT STDMETHODCALLTYPE get_Count(long* count) noexcept override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IVectaPopupMenu** menu) noexcept override;

private:
    std::wstring TraceName() const override;

    ComPtr<CSimMenuGroup> m_group;
};
