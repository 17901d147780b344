#pragma once
#include <windows.h>
#include <string>

// Registration of the Vecta type library that VectaSim.exe carries (TYPELIB 1). The PDM
// client's "cai_dll.tlb", which the add-in interface refers to, belongs to the client's own
// setup: the simulator never writes or removes its keys, even when that library is missing.
class CSimRegistrar {
public:
    [[nodiscard]] static HRESULT Register();
    // The per-user values Vecta's set-up writes for its release "R<version>": HKCU
    // Software\Tessaro\Vecta "CurVer" naming the release key, and the release key's "CurVer"
    // naming the product key under which add-ins register for demand loading. Values already
    // there are kept, as they may hold another release's or product's registrations.
    [[nodiscard]] static HRESULT RegisterRelease(const std::wstring& version);
    [[nodiscard]] static HRESULT Unregister();
    // Registers the Vecta library when it is not registered yet; for a plain start.
    [[nodiscard]] static HRESULT RegisterIfNeeded();
    // The client's library is registered and loads: the add-in interface, whose callback is the
    // client's, marshals only then (Wine's marshaller fails hard without it).
    static bool ClientLibraryLoads() noexcept;
};
