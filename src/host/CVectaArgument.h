#pragma once
#include <windows.h>
#include <oaidl.h>

// The argument forms Vecta's automation objects expect. Every value here owns nothing, so
// a plain VARIANT is safe to pass and to drop.
class CVectaArgument {
public:
    // An omitted optional argument: VT_ERROR holding DISP_E_PARAMNOTFOUND.
    static VARIANT Missing() noexcept;
    static bool IsMissing(const VARIANT& value) noexcept;
    // A 0-based collection index, or a VT_I4 flag such as Open's read-only 0/1.
    static VARIANT Index(LONG index) noexcept;
    // The empty argument the menu groups' Load takes as its base menu (not the missing form).
    static VARIANT Empty() noexcept;
    static VARIANT_BOOL Flag(bool value) noexcept { return value ? VARIANT_TRUE : VARIANT_FALSE; }
};
