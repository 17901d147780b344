#pragma once
#include <windows.h>
#include <objbase.h>
#include <string>

// The names VectaSim registers under and the moniker provider looks up: one item moniker
// "!" + "<class>:<profile>" in the running object table per running instance.
inline constexpr wchar_t kInstanceClass17[] = L"QELDVecta17Instance";
inline constexpr wchar_t kInstanceClass16[] = L"QELDVecta16Instance";

[[nodiscard]] inline HRESULT CreateInstanceItemMoniker(const std::wstring& className,
                                                       const std::wstring& profile, IMoniker** out) {
    const std::wstring item = className + L":" + profile;
    return CreateItemMoniker(L"!", item.c_str(), out);
}
