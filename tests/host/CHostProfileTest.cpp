#include "host/CHostProfile.h"
#include "host/CRegistryKey.h"
#include <gtest/gtest.h>

namespace {

constexpr wchar_t kHost[] = L"Software\\Tessaro\\Vecta";
constexpr wchar_t kRelease[] = L"R99.1";
constexpr wchar_t kProduct[] = L"Test-Product";

// The host's profile chain in the real per-user registry: release, product, profile.
class CHostProfileTest : public ::testing::Test {
protected:
    CHostProfileTest() { Clear(); }
    ~CHostProfileTest() override { Clear(); }

    static void Clear() {
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kHost) + L"\\" + kRelease).c_str());
        HKEY host = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kHost, 0, KEY_WRITE, &host) == ERROR_SUCCESS) {
            RegDeleteValueW(host, L"CurVer");
            RegCloseKey(host);
        }
    }
    static void Put(const std::wstring& path, const std::wstring& name, const std::wstring& value, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // The whole chain with these values; an empty one is left out.
    static void Chain(const std::wstring& release, const std::wstring& product, const std::wstring& profile,
                      const std::wstring& templates, DWORD templateType = REG_SZ) {
        const std::wstring releaseKey = std::wstring(kHost) + L"\\" + kRelease;
        const std::wstring profiles = releaseKey + L"\\" + kProduct + L"\\Profiles";
        if (!release.empty()) Put(kHost, L"CurVer", release);
        if (!product.empty()) Put(releaseKey, L"CurVer", product);
        if (!profile.empty()) Put(profiles, L"", profile);
        if (!templates.empty()) Put(profiles + L"\\Drafting\\General", L"TemplatePath", templates, templateType);
    }
};

TEST_F(CHostProfileTest, TemplatePathFollowsTheChainAndRefusesWhatDoesNotFit) {
    const std::wstring longest(259, L'x');
    struct Row {
        const char* name;
        std::wstring release, product, profile, templates;
        DWORD type;
        std::wstring expected;
    } rows[] = {
        {"whole chain", kRelease, kProduct, L"Drafting", L"C:\\Templates", REG_SZ, L"C:\\Templates"},
        {"expandable, not expanded", kRelease, kProduct, L"Drafting", L"%USERPROFILE%\\T", REG_EXPAND_SZ,
         L"%USERPROFILE%\\T"},
        {"path filling its buffer", kRelease, kProduct, L"Drafting", longest, REG_SZ, longest},
        {"path one too long", kRelease, kProduct, L"Drafting", longest + L"y", REG_SZ, L""},
        {"no release named", L"", kProduct, L"Drafting", L"C:\\Templates", REG_SZ, L""},
        {"no current profile", kRelease, kProduct, L"", L"C:\\Templates", REG_SZ, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clear();
        Chain(row.release, row.product, row.profile, row.templates, row.type);
        EXPECT_EQ(CHostProfile::TemplatePath(), row.expected);
    }
}

TEST_F(CHostProfileTest, ProductNameLongerThanItsBufferBreaksTheChain) {
    Chain(kRelease, kProduct, L"Drafting", L"C:\\Templates");
    Put(std::wstring(kHost) + L"\\" + kRelease, L"CurVer", std::wstring(20, L'p'));
    EXPECT_EQ(CHostProfile::TemplatePath(), L"");
}

}  // namespace
