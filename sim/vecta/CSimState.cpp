#include "CSimState.h"

HRESULT CSimState::get_IsIdle(VARIANT_BOOL* idle) noexcept {
    return Call(L"IsIdle", [&](auto&) -> HRESULT {
        if (!idle) return E_POINTER;
        *idle = m_host.IsIdle() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}
