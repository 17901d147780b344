#pragma once
#include "CSimHost.h"
#include "CTrace.h"
#include "CVariantArg.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <utility>
#include <vector>

// Base of every automation object of the simulator: reference counting, IDispatch through
// the Vecta type library, and Call(), which wraps each method so that no exception leaves
// it, the control file is current, and the call lands in the trace.
template <class Interface>
class CSimObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Offers(riid)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return m_host.TypeInfo(__uuidof(Interface), out);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(m_host.TypeInfo(__uuidof(Interface), info.put()));
        return DispGetIDsOfNames(info.get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) noexcept override {
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(m_host.TypeInfo(__uuidof(Interface), info.put()));
        return DispInvoke(static_cast<Interface*>(this), info.get(), id, flags, params, result, exception, argError);
    }

protected:
    explicit CSimObject(CSimHost& host) noexcept : m_host(host) {}
    virtual ~CSimObject() = default;

    virtual bool Offers(REFIID riid) const noexcept {
        return riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(Interface);
    }
    // How the object appears in the trace ("Document[a.vdr]").
    virtual std::wstring TraceName() const = 0;

    // body(args) fills the trace arguments first, then does the work and returns its HRESULT.
    template <class Body>
    HRESULT Call(const wchar_t* member, Body&& body) noexcept {
        HRESULT hr = E_FAIL;
        try {
            std::vector<std::wstring> args;
            m_host.BeginCall();
            try {
                const std::wstring name = TraceName();
                const std::wstring object = name.substr(0, name.find(L'['));
                const CFaults& faults = m_host.Faults();
                if (faults.exitIn == object + L"." + member) m_host.EndInCall(faults.exitIn);
                // An injected failure does no work and sets no out value.
                const HRESULT injected = faults.FailureOf(object, member);
                hr = FAILED(injected) ? injected : body(args);
            } catch (...) {
                hr = HResultFromCaught();
            }
            m_host.Trace().Record(TraceName(), member, args, hr);
        } catch (...) {
            hr = HResultFromCaught();
        }
        return hr;
    }

    // A 0-based index (anything that converts to VT_I4) within count.
    static HRESULT ResolveIndex(const VARIANT& index, size_t count, size_t& out) noexcept {
        LONG value = 0;
        if (!CVariantArg::ToLong(index, value)) return E_INVALIDARG;
        if (value < 0 || static_cast<size_t>(value) >= count) return E_INVALIDARG;
        out = static_cast<size_t>(value);
        return S_OK;
    }

    // Hands out the item at a 0-based index with a reference for the caller.
    template <class Item, class Out>
    static HRESULT ItemAt(const std::vector<ComPtr<Item>>& items, const VARIANT& index, Out** out) noexcept {
        size_t position = 0;
        RETURN_IF_FAILED(ResolveIndex(index, items.size(), position));
        *out = items[position].get();
        (*out)->AddRef();
        return S_OK;
    }

    CSimHost& m_host;

private:
    LONG m_refs = 1;
};

// Creates a simulator object owned by the returned pointer.
template <class T, class... Args>
ComPtr<T> MakeSimObject(Args&&... args) {
    ComPtr<T> p;
    p.attach(new T(std::forward<Args>(args)...));
    return p;
}
