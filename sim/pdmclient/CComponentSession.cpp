#include "CComponentSession.h"
#include "support/ResultMacros.h"
#include "support/UniqueVariant.h"

HRESULT CComponentSession::Create(const std::wstring& progId) noexcept {
    CLSID clsid{};
    RETURN_IF_FAILED(CLSIDFromProgID(progId.c_str(), &clsid));
    ComPtr<ICAI_Call> component;
    RETURN_IF_FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICAI_Call, component.put_void()));
    Use(std::move(component));
    return S_OK;
}

HRESULT CComponentSession::Run(IUnknown* callback, const std::wstring& command, const std::wstring& first,
                               const std::wstring& second, long& result) noexcept {
    result = 0;
    if (!m_component) return E_POINTER;
    try {
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
        if (!array) return E_OUTOFMEMORY;
        UniqueVariant args;
        VARIANT* owner = args.put();
        V_VT(owner) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(owner) = array;
        const std::wstring elements[] = {command, first, second, L""};
        for (LONG i = 0; i < 4; ++i) {
            UniqueVariant element(elements[i]);
            RETURN_IF_FAILED(SafeArrayPutElement(array, &i, const_cast<VARIANT*>(&element.get())));
        }
        UniqueVariant answer;
        const HRESULT hr = m_component->Run(callback, args.get(), answer.put());
        UniqueVariant code;
        VARIANT source = answer.get();  // read only; answer keeps ownership
        if (SUCCEEDED(VariantChangeType(code.put(), &source, 0, VT_I4))) result = V_I4(&code.get());
        return hr;
    } catch (...) {
        return HResultFromCaught();
    }
}
