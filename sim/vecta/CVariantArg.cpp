#include "CVariantArg.h"
#include <oleauto.h>

bool CVariantArg::IsMissing(const VARIANT& value) noexcept {
    return V_VT(&value) == VT_EMPTY || (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND);
}

bool CVariantArg::ToLong(const VARIANT& value, LONG& out) noexcept {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_I4))) return false;
    out = V_I4(&converted);
    return true;
}

bool CVariantArg::IsTrue(const VARIANT& value) noexcept {
    LONG number = 0;
    return !IsMissing(value) && ToLong(value, number) && number != 0;
}
