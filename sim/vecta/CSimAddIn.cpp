#include "CSimAddIn.h"
#include "CSimDocument.h"
#include "CSimRegistrar.h"

bool CSimAddIn::Offers(REFIID riid) const noexcept {
    if (riid == __uuidof(IVntAddIn)) return m_offersInterface && CSimRegistrar::ClientLibraryLoads();
    return CSimObject::Offers(riid);
}

HRESULT CSimAddIn::SetCAICallback(ICAICallback* callback) noexcept {
    return Call(L"SetCAICallback", [&](auto& args) -> HRESULT {
        args.push_back(callback ? L"object" : L"null");
        m_host.SetCallback(callback);
        return S_OK;
    });
}

HRESULT CSimAddIn::SetSymbol(BSTR name, BSTR value) noexcept {
    return Call(L"SetSymbol", [&](auto& args) -> HRESULT {
        args = {CTrace::Text(name), CTrace::Text(value)};
        const auto active = m_host.ActiveDocument();
        if (!active) return E_FAIL;
        if (!name || !*name) return E_INVALIDARG;
        active->SetSymbol(name, value ? value : L"");
        return S_OK;
    });
}
