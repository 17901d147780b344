#include "CTestCallback.h"
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"

HRESULT CTestCallback::QueryInterface(REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_ICAICallback) return E_NOINTERFACE;
    *out = static_cast<ICAICallback*>(this);
    AddRef();
    return S_OK;
}

HRESULT CTestCallback::GetTypeInfoCount(UINT* count) noexcept {
    *count = 0;
    return S_OK;
}

HRESULT CTestCallback::GetTypeInfo(UINT, LCID, ITypeInfo** out) noexcept {
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT CTestCallback::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept { return E_NOTIMPL; }

HRESULT CTestCallback::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept {
    return E_NOTIMPL;
}

HRESULT CTestCallback::Call(BSTR command, BSTR arguments, BSTR, LONG* result) noexcept {
    try {
        calls.push_back(std::wstring(command ? command : L"") + L"|" + (arguments ? arguments : L""));
        if (result) *result = 0;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CTestCallback::GetClientInfo(LONG, BSTR* text) noexcept {
    *text = nullptr;
    return E_NOTIMPL;
}

HRESULT CTestCallback::GetMessageText(BSTR key, BSTR* text) noexcept {
    *text = SysAllocString(key);
    return S_OK;
}

HRESULT CTestCallback::Prepare(BSTR expression, BSTR* value) noexcept {
    try {
        *value = nullptr;
        const auto it = answers.find(expression ? expression : L"");
        if (it != answers.end()) *value = UniqueBstr(it->second).release();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
