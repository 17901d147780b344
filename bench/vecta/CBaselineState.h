#pragma once
#include "vecta.h"

// An in-process IVectaState: the baseline a cross-process call is compared with. Defined in its
// own translation unit so that the compiler cannot see through the interface call.
class CBaselineState final : public IVectaState {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override;
    HRESULT STDMETHODCALLTYPE get_IsIdle(VARIANT_BOOL* idle) noexcept override;

    static IVectaState* Instance();
};
