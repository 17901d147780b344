#include "CBenchCallback.h"
#include <cwchar>

HRESULT CBenchCallback::QueryInterface(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_ICAICallback)) {
        *out = static_cast<ICAICallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CBenchCallback::GetTypeInfoCount(UINT* count) noexcept {
    *count = 0;
    return S_OK;
}

HRESULT CBenchCallback::Call(BSTR, BSTR, BSTR, LONG* result) noexcept {
    ++calls;
    *result = 0;
    return S_OK;
}

HRESULT CBenchCallback::GetMessageText(BSTR key, BSTR* text) noexcept {
    *text = SysAllocString(key);
    return S_OK;
}

HRESULT CBenchCallback::Prepare(BSTR expression, BSTR* value) noexcept {
    const wchar_t* answer = L"";
    if (std::wcscmp(expression, L"$(_VNTXVER)") == 0)
        answer = L"530";
    else if (std::wcscmp(expression, L"#(Appl:Profile)") == 0)
        answer = kProfile;
    else if (std::wcscmp(expression, L"#(Appl:LogLevel)") == 0 || std::wcscmp(expression, L"$(JobServerRunning:-0)") == 0)
        answer = L"0";
    *value = SysAllocString(answer);
    return S_OK;
}
