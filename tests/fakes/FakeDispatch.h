#pragma once
#include "support/InterfaceId.h"
#include <windows.h>
#include <oaidl.h>

// The IUnknown and IDispatch part of an in-process Vecta double: counted references,
// QueryInterface for IUnknown, IDispatch and I, and no type information.
template <class I>
class FakeDispatch : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID received, void** out) override {
        if (!out) return E_POINTER;
        const IID iid = InterfaceId(&received);
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, __uuidof(I))) {
            *out = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    FakeDispatch() = default;
    virtual ~FakeDispatch() = default;

private:
    volatile LONG m_refs = 1;
};
