#include "CDemandLoader.h"
#include "CSimHost.h"
#include "CTextFile.h"
#include <windows.h>
#include <string>

namespace {

constexpr DWORD kLoadAtStartUp = 2;

std::wstring ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buffer[size / sizeof(wchar_t)] = L'\0';
    return buffer;
}

// Owns an open registry key.
struct Key {
    HKEY handle = nullptr;
    Key(HKEY parent, const std::wstring& path) { RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &handle); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (handle) RegCloseKey(handle);
    }
};

}  // namespace

void CDemandLoader::LoadAtStartUp(const CSimHost& host) {
    const std::wstring release = L"Software\\Tessaro\\Vecta\\R" + host.Options().version;
    Key releaseKey(HKEY_CURRENT_USER, release);
    if (!releaseKey.handle) return;
    const std::wstring product = ReadText(releaseKey.handle, L"CurVer");
    if (product.empty()) return;
    Key applications(releaseKey.handle, product + L"\\Applications");
    if (!applications.handle) return;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(applications.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Key application(applications.handle, name);
        DWORD controls = 0;
        DWORD size = sizeof(controls);
        DWORD type = 0;
        if (!application.handle ||
            RegQueryValueExW(application.handle, L"LOADCTRLS", nullptr, &type, reinterpret_cast<BYTE*>(&controls),
                             &size) != ERROR_SUCCESS ||
            type != REG_DWORD || !(controls & kLoadAtStartUp))
            continue;
        const std::wstring loader = ReadText(application.handle, L"LOADER");
        host.Trace().Record(L"Application", L"DemandLoad",
                            {CTrace::Text(loader), CTextFile::Exists(loader) ? L"found" : L"missing"}, S_OK);
    }
}
