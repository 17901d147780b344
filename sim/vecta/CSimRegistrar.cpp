#include "CSimRegistrar.h"
#include "cai_dll.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "vecta.h"
#include <oleauto.h>
#include <string>

HRESULT CSimRegistrar::RegisterResource(const wchar_t* suffix) {
    wchar_t module[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, module, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(module, MAX_PATH, full, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
    std::wstring path = std::wstring(full) + suffix;
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
    return RegisterTypeLib(library.get(), path.data(), nullptr);
}

bool CSimRegistrar::IsRegistered(REFGUID library, WORD major) {
    ComPtr<ITypeLib> loaded;
    return SUCCEEDED(LoadRegTypeLib(library, major, 0, 0, loaded.put()));
}

HRESULT CSimRegistrar::Register() {
    // The client library first: loading the Vecta library resolves its reference to it.
    if (!IsRegistered(LIBID_CAI_DLLLib, 2)) RETURN_IF_FAILED(RegisterResource(L"\\2"));
    return RegisterResource(L"");
}

HRESULT CSimRegistrar::Unregister() { return UnRegisterTypeLib(LIBID_VectaLib, 1, 0, 0, SYS_WIN32); }

HRESULT CSimRegistrar::RegisterIfNeeded() {
    if (IsRegistered(LIBID_CAI_DLLLib, 2) && IsRegistered(LIBID_VectaLib, 1)) return S_OK;
    return Register();
}
