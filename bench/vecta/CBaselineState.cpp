#include "CBaselineState.h"

HRESULT CBaselineState::QueryInterface(REFIID riid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IVectaState) return E_NOINTERFACE;
    *out = static_cast<IVectaState*>(this);
    return S_OK;
}

HRESULT CBaselineState::GetTypeInfoCount(UINT* count) noexcept {
    *count = 0;
    return S_OK;
}

HRESULT CBaselineState::GetTypeInfo(UINT, LCID, ITypeInfo** out) noexcept {
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaselineState::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept { return E_NOTIMPL; }

HRESULT CBaselineState::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept {
    return E_NOTIMPL;
}

HRESULT CBaselineState::get_IsIdle(VARIANT_BOOL* idle) noexcept {
    if (!idle) return E_POINTER;
    *idle = VARIANT_TRUE;
    return S_OK;
}

IVectaState* CBaselineState::Instance() {
    static CBaselineState state;
    return &state;
}
