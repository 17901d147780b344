#pragma once
#include <windows.h>
#include <string>

// Self-registration of the component module: its registry script and its type library.
class CServerRegistration {
public:
    static constexpr UINT kScriptId = 102;

    // Both return the first failure.
    [[nodiscard]] static HRESULT Register(HMODULE module);
    [[nodiscard]] static HRESULT Unregister(HMODULE module);

    // The module's full path; a path that fills the whole 260-character buffer is refused.
    [[nodiscard]] static HRESULT ModulePath(HMODULE module, std::wstring& path);
};
