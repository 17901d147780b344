#include "CHostProfile.h"
#include "CRegistryKey.h"

namespace {

constexpr wchar_t kHostKey[] = L"Software\\Tessaro\\Vecta";
constexpr size_t kKeyNameCapacity = 20;
constexpr size_t kProfileCapacity = 100;
constexpr size_t kPathCapacity = 260;

std::wstring ReadValue(const std::wstring& path, const std::wstring& name, size_t capacity) {
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, path, KEY_READ) != ERROR_SUCCESS) return {};
    return key.ReadString(name, capacity).value_or(L"");
}

}  // namespace

std::wstring CHostProfile::TemplatePath() {
    // Each key is built with what was read before, also when that read failed.
    const std::wstring releaseKey = std::wstring(kHostKey) + L"\\" + ReadValue(kHostKey, L"CurVer", kKeyNameCapacity);
    const std::wstring profiles = releaseKey + L"\\" + ReadValue(releaseKey, L"CurVer", kKeyNameCapacity) + L"\\Profiles";
    const std::wstring profile = ReadValue(profiles, L"", kProfileCapacity);
    return ReadValue(profiles + L"\\" + profile + L"\\General", L"TemplatePath", kPathCapacity);
}
