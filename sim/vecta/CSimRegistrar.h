#pragma once
#include <windows.h>

// Registration of the type libraries VectaSim.exe carries: TYPELIB 1 is the Vecta library,
// TYPELIB 2 the PDM client's "cai_dll.tlb", which the add-in interface refers to.
class CSimRegistrar {
public:
    // Registers the Vecta library, and the client's library when it is not registered yet.
    [[nodiscard]] static HRESULT Register();
    [[nodiscard]] static HRESULT Unregister();
    // Registers only what is missing; for a plain start.
    [[nodiscard]] static HRESULT RegisterIfNeeded();

private:
    [[nodiscard]] static HRESULT RegisterResource(const wchar_t* suffix);
    static bool IsRegistered(REFGUID library, WORD major);
};
