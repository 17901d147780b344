#include "CCAI_Call.h"
#include "runtime/CModuleLock.h"
#include "runtime/CModulePin.h"
#include "support/InterfaceId.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include <new>

CCAI_Call::CCAI_Call(IUnknown* outer) : m_inner(*this), m_outer(outer ? outer : &m_inner) {
    CModulePin::Pin();
    CModuleLock::Lock();
}

CCAI_Call::~CCAI_Call() { CModuleLock::Unlock(); }

HRESULT CCAI_Call::Create(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    CCAI_Call* object = new (std::nothrow) CCAI_Call(outer);
    if (!object) return E_OUTOFMEMORY;
    // The creation reference is dropped after the query, destroying the object when it failed.
    const HRESULT hr = object->m_inner.QueryInterface(iid, out);
    object->m_inner.Release();
    return hr;
}

HRESULT CCAI_Call::Inner::QueryInterface(REFIID received, void** out) {
    if (!out) return E_POINTER;
    const IID iid = InterfaceId(&received);
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IUnknown*>(this);
    } else if (IsEqualIID(iid, IID_ICAI_Call) || IsEqualIID(iid, IID_IDispatch)) {
        *out = static_cast<ICAI_Call*>(&m_owner);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
        *out = static_cast<ISupportErrorInfo*>(&m_owner);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

ULONG CCAI_Call::Inner::AddRef() { return InterlockedIncrement(&m_owner.m_refs); }

ULONG CCAI_Call::Inner::Release() {
    const LONG refs = InterlockedDecrement(&m_owner.m_refs);
    if (refs == 0) delete &m_owner;
    return refs;
}

HRESULT CCAI_Call::QueryInterface(REFIID iid, void** out) { return m_outer->QueryInterface(InterfaceId(&iid), out); }
ULONG CCAI_Call::AddRef() { return m_outer->AddRef(); }
ULONG CCAI_Call::Release() { return m_outer->Release(); }

HRESULT CCAI_Call::LoadTypeInfo(ITypeInfo** info) {
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadRegTypeLib(LIBID_QELDVECTA17XLib, 1, 0, 0x409, library.put()));
    // The own library holds the class only; its default interface resolves through the
    // client's registered cai_dll.tlb.
    ComPtr<ITypeInfo> coclass;
    RETURN_IF_FAILED(library->GetTypeInfoOfGuid(CLSID_CAI_Call, coclass.put()));
    HREFTYPE reference = 0;
    RETURN_IF_FAILED(coclass->GetRefTypeOfImplType(0, &reference));
    return coclass->GetRefTypeInfo(reference, info);
}

HRESULT CCAI_Call::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CCAI_Call::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return LoadTypeInfo(info);
}

HRESULT CCAI_Call::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ComPtr<ITypeInfo> info;
    RETURN_IF_FAILED(LoadTypeInfo(info.put()));
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT CCAI_Call::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) {
    if (!IsEqualIID(InterfaceId(&iid), IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    RETURN_IF_FAILED(LoadTypeInfo(info.put()));
    return info->Invoke(static_cast<ICAI_Call*>(this), id, flags, params, result, exception, argError);
}

HRESULT CCAI_Call::Reserved1(LONG) { return E_FAIL; }
HRESULT CCAI_Call::Reserved2(LONG, LONG, LONG) { return E_FAIL; }
HRESULT CCAI_Call::Reserved3(LONG) { return E_FAIL; }

HRESULT CCAI_Call::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(InterfaceId(&iid), IID_ICAI_Call) ? S_OK : S_FALSE;
}
