#pragma once
#include "cai_dll.h"
#include <map>
#include <string>
#include <vector>

// The PDM client's callback object as the add-in inside VectaSim sees it: answers Prepare
// from a table and records every Call. Lives in the test process on the test's thread.
class CTestCallback : public ICAICallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return static_cast<ULONG>(InterlockedDecrement(&m_refs)); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override;

    HRESULT STDMETHODCALLTYPE Call(BSTR command, BSTR arguments, BSTR extra, LONG* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetClientInfo(LONG, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStatusText(BSTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowProgress(LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMessageText(BSTR key, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE Prepare(BSTR expression, BSTR* value) noexcept override;

    std::map<std::wstring, std::wstring> answers;
    // "command|arguments" per Call, in order.
    std::vector<std::wstring> calls;
    // Outstanding references; the test object lives on the stack and must end at 1.
    LONG References() const noexcept { return m_refs; }

private:
    LONG m_refs = 1;
};
