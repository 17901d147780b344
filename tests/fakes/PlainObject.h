#pragma once
#include "support/InterfaceId.h"
#include <unknwn.h>

// A COM object that is no ICAICallback, as a script object handed to Run would be.
class PlainObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID received, void** out) override {
        if (IsEqualIID(InterfaceId(&received), IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    LONG refs = 1;
};
