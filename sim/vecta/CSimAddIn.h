#pragma once
#include "CSimObject.h"

// The PDM add-in object inside Vecta. With the "nointerface" fault, or without the PDM
// client's type library, it is a plain IDispatch that refuses IVntAddIn.
class CSimAddIn : public CSimObject<IVntAddIn> {
public:
    CSimAddIn(CSimHost& host, bool offersInterface) noexcept : CSimObject(host), m_offersInterface(offersInterface) {}

    HRESULT STDMETHODCALLTYPE SetCAICallback(ICAICallback* callback) noexcept override;
    HRESULT STDMETHODCALLTYPE SetSymbol(BSTR name, BSTR value) noexcept override;

private:
    bool Offers(REFIID riid) const noexcept override;
    std::wstring TraceName() const override { return L"AddIn"; }

    bool m_offersInterface;
};
