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

namespace {

constexpr wchar_t kVectaKey[] = L"Software\\Tessaro\\Vecta";
constexpr wchar_t kProductKey[] = L"VectaSim:409";

HRESULT SetIfMissing(const std::wstring& path, const std::wstring& value) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    if (RegQueryValueExW(key, L"CurVer", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        status = RegSetValueExW(key, L"CurVer", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT CSimRegistrar::RegisterRelease(const std::wstring& version) {
    const std::wstring release = L"R" + version;
    RETURN_IF_FAILED(SetIfMissing(kVectaKey, release));
    return SetIfMissing(std::wstring(kVectaKey) + L"\\" + release, kProductKey);
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
