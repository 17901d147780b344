#include "CVectaArgument.h"
#include <oleauto.h>

VARIANT CVectaArgument::Missing() noexcept {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_ERROR;
    V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
    return value;
}

bool CVectaArgument::IsMissing(const VARIANT& value) noexcept {
    return V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND;
}

VARIANT CVectaArgument::Index(LONG index) noexcept {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = index;
    return value;
}

VARIANT CVectaArgument::Empty() noexcept {
    VARIANT value;
    VariantInit(&value);
    return value;
}
