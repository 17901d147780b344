#include "CSimRegistrar.h"
#include "cai_dll.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "vecta.h"
#include <oleauto.h>
#include <string>

HRESULT CSimRegistrar::Register() {
    wchar_t module[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, module, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(module, MAX_PATH, full, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadTypeLibEx(full, REGKIND_NONE, library.put()));
    return RegisterTypeLib(library.get(), full, nullptr);
}

HRESULT CSimRegistrar::Unregister() { return UnRegisterTypeLib(LIBID_VectaLib, 1, 0, 0, SYS_WIN32); }

bool CSimRegistrar::ClientLibraryLoads() noexcept {
    ComPtr<ITypeLib> library;
    return SUCCEEDED(LoadRegTypeLib(LIBID_CAI_DLLLib, 2, 0, 0, library.put()));
}

HRESULT CSimRegistrar::RegisterIfNeeded() {
    ComPtr<ITypeLib> registered;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_VectaLib, 1, 0, 0, registered.put()))) return S_OK;
    return Register();
}
