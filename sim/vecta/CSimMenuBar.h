#pragma once
#include "CSimObject.h"

// The host's menu bar: the popup menus shown, in order.
class CSimMenuBar : public CSimObject<IVectaMenuBar> {
public:
    explicit CSimMenuBar(CSimHost& host) noexcept : CSimObject(host) {}

    HRESULT STDMETHODCALLTYPE get_Count(long* count) noexcept override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IVectaPopupMenu** menu) noexcept override;

private:
    std::wstring TraceName() const override { return L"MenuBar"; }
};
