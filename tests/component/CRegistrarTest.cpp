#include "component/CRegistrar.h"
#include <gtest/gtest.h>

namespace {

constexpr wchar_t kBase[] = L"Software\\QeldRegistrarTest";

std::wstring ReadString(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[512] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kBase); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kBase); }

    const std::wstring script = LR"(HKCU
{
    NoRemove Software
    {
        QeldRegistrarTest = s 'Top'
        {
            ForceRemove {1234-ab} = s 'It''s %MODULE%'
            {
                val Model = s 'Both'
                'Quoted Name'
            }
        }
    }
})";
};

TEST_F(RegistrarTest, RegistersKeysValuesAndReplacements) {
    CRegistrar registrar;
    registrar.AddReplacement(L"MODULE", L"C:\\O''Neil\\a.dll");  // quotes arrive doubled
    ASSERT_EQ(registrar.Register(script), S_OK);
    EXPECT_EQ(ReadString(kBase), L"Top");
    EXPECT_EQ(ReadString(std::wstring(kBase) + L"\\{1234-ab}"), L"It's C:\\O'Neil\\a.dll");
    EXPECT_EQ(ReadString(std::wstring(kBase) + L"\\{1234-ab}", L"Model"), L"Both");
    EXPECT_TRUE(KeyExists(std::wstring(kBase) + L"\\{1234-ab}\\Quoted Name"));
}

TEST_F(RegistrarTest, ForceRemoveReplacesAndRemovalKeepsNoRemove) {
    HKEY stale = nullptr;
    RegCreateKeyW(HKEY_CURRENT_USER, (std::wstring(kBase) + L"\\{1234-ab}\\Stale").c_str(), &stale);
    RegCloseKey(stale);
    CRegistrar registrar;
    ASSERT_EQ(registrar.Register(script), S_OK);
    EXPECT_FALSE(KeyExists(std::wstring(kBase) + L"\\{1234-ab}\\Stale"));

    ASSERT_EQ(registrar.Unregister(script), S_OK);
    EXPECT_FALSE(KeyExists(kBase));
    EXPECT_TRUE(KeyExists(L"Software"));
    EXPECT_EQ(registrar.Unregister(script), S_OK);  // removing what is gone is no failure
}

TEST_F(RegistrarTest, MalformedScriptsAreRefused) {
    const wchar_t* scripts[] = {
        L"HKXX { A }",                  // unknown hive
        L"HKCU { A = s 'unterminated }",  // open string
        L"HKCU { A = x 'y' }",          // unknown value type
        L"HKCU { A { B }",              // missing brace
    };
    CRegistrar registrar;
    for (const wchar_t* text : scripts) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        EXPECT_EQ(registrar.Register(text), E_INVALIDARG);
    }
}

}  // namespace
