#pragma once
#include <windows.h>
#include <oaidl.h>

// Reading the VARIANT arguments that callers pass to the automation objects.
class CVariantArg {
public:
    // VT_EMPTY, or VT_ERROR holding DISP_E_PARAMNOTFOUND (an omitted optional argument).
    static bool IsMissing(const VARIANT& value) noexcept;
    // Anything that converts to VT_I4.
    [[nodiscard]] static bool ToLong(const VARIANT& value, LONG& out) noexcept;
    // A number or flag that converts to non-zero; false when it does not convert.
    static bool IsTrue(const VARIANT& value) noexcept;
};
