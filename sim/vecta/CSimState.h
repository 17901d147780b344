#pragma once
#include "CSimObject.h"

// The host state object: idle unless a command is running.
class CSimState : public CSimObject<IVectaState> {
public:
    explicit CSimState(CSimHost& host) noexcept : CSimObject(host) {}

    HRESULT STDMETHODCALLTYPE get_IsIdle(VARIANT_BOOL* idle) noexcept override;

private:
    std::wstring TraceName() const override { return L"State"; }
};
