#pragma once
#include "CSimObject.h"

// The host's loaded menu groups.
class CSimMenuGroups : public CSimObject<IVectaMenuGroups> {
public:
    explicit CSimMenuGroups(CSimHost& host) noexcept : CSimObject(host) {}

    HRESULT STDMETHODCALLTYPE get_Count(long* count) noexcept override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IVectaMenuGroup** group) noexcept override;
    HRESULT STDMETHODCALLTYPE Load(BSTR menuFile, VARIANT baseMenu, IVectaMenuGroup** group) noexcept override;

private:
    std::wstring TraceName() const override { return L"MenuGroups"; }
};
