#pragma once
#include <cai_dll.h>

// A lean PDM client: answers the few expressions a QELDCHECKAPPLICATION needs with fixed
// texts and accepts every command. Shared by the measured Run and the bare baseline loop,
// so that both pay the same for the client's side.
class CBenchCallback final : public ICAICallback {
public:
    static constexpr const wchar_t* kProfile = L"Standard";

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Call(BSTR command, BSTR arguments, BSTR extra, LONG* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetClientInfo(LONG, BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ShowProgress(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMessageText(BSTR key, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE Prepare(BSTR expression, BSTR* value) noexcept override;

    long calls = 0;  // client commands received

private:
    ULONG m_refs = 1;
};
