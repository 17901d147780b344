#include "client/CVantorApplication.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "host/CApplicationManager.h"
#include "host/CRegistryKey.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::Not;

namespace {

constexpr wchar_t kZep[] = L"C:\\Fennory\\ZEP\\";

// Registration of the registrar add-in in the real per-user registry, under a release
// name of the test's own so that nothing else is touched.
class CheckVectaAppRegistrarTest : public ComponentTest {
protected:
    CheckVectaAppRegistrarTest() : version(L"R17.9-" + std::to_wstring(GetCurrentProcessId())) {
        client.attach(FakeCallback::Create());
        client->answers[L"#(Appl:VectaVersion)"] = version;
        client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
        client->answers[L"$(CAICLIENTPATH:|+)ZEP\\"] = kZep;
        EXPECT_EQ(CVantorApplication::Instance().SetCallback(client.get()), S_OK);
        CUtils::Instance().SetLogThreshold(2);
        RegDeleteTreeW(HKEY_CURRENT_USER, Root().c_str());
    }
    ~CheckVectaAppRegistrarTest() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, Root().c_str());
        CVantorApplication::Instance().ReleaseCallback();
    }

    std::wstring Root() const { return L"Software\\Tessaro\\Vecta\\" + (version.empty() ? L"R16.0" : version); }
    std::wstring Registration() const { return Root() + L"\\Product-A\\Applications\\QELDAppReg"; }
    void SetProduct() {
        CRegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, Root(), KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(key.WriteString(L"CurVer", L"Product-A"), ERROR_SUCCESS);
    }
    void SetValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        CRegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, Registration(), KEY_WRITE), ERROR_SUCCESS);
        HKEY raw = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Registration().c_str(), 0, KEY_WRITE, &raw), ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(raw, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        RegCloseKey(raw);
    }
    void SetLoader(const std::wstring& path) {
        SetValue(L"LOADER", REG_SZ, path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    void SetControls(DWORD value) { SetValue(L"LOADCTRLS", REG_DWORD, &value, sizeof(value)); }
    FILETIME LastWrite() const {
        FILETIME time{};
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Registration().c_str(), 0, KEY_READ, &raw) == ERROR_SUCCESS) {
            RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &time);
            RegCloseKey(raw);
        }
        return time;
    }
    // LOADCTRLS as a DWORD and LOADER, or nothing.
    std::pair<std::optional<DWORD>, std::optional<std::wstring>> Stored() const {
        CRegistryKey key;
        if (key.Open(HKEY_CURRENT_USER, Registration(), KEY_READ) != ERROR_SUCCESS) return {};
        return {key.ReadDword(L"LOADCTRLS"), key.ReadString(L"LOADER", 512)};
    }
    int Check() { return CApplicationManager().CheckVectaAppRegistrar(); }

    std::wstring version;
    ComPtr<FakeCallback> client;
};

const std::wstring kModule17 = std::wstring(kZep) + L"QELDAppReg17.zep";

TEST_F(CheckVectaAppRegistrarTest, WrongOrMissingRegistrationsAreRewritten) {
    struct Row {
        const char* name;
        bool createKey;
        std::optional<DWORD> controls;  // as REG_DWORD
        bool controlsAsText;            // "2" as REG_SZ instead
        std::wstring loader;
    } rows[] = {
        {"missing key", false, std::nullopt, false, L""},
        {"loader differs in case only", true, 2, false, L"C:\\fennory\\zep\\qeldappreg17.zep"},
        {"load controls of another type", true, std::nullopt, true, kModule17},
        {"load controls other than start-up", true, 1, false, kModule17},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegDeleteTreeW(HKEY_CURRENT_USER, Root().c_str());
        LogReader::Remove();
        SetProduct();
        if (row.createKey) {
            if (row.controls) SetControls(*row.controls);
            if (row.controlsAsText) SetValue(L"LOADCTRLS", REG_SZ, L"2", 4);
            SetLoader(row.loader);
        }
        EXPECT_EQ(Check(), 1);
        const auto [controls, loader] = Stored();
        EXPECT_EQ(controls, std::optional<DWORD>(2));
        EXPECT_EQ(loader, std::optional<std::wstring>(kModule17));
        EXPECT_THAT(LogReader().Messages(),
                    Contains(L"Info: CheckVectaAppRegistrar: QELDAppReg.zep is correctly registered"));
    }
}

TEST_F(CheckVectaAppRegistrarTest, CorrectRegistrationIsNotWritten) {
    SetProduct();
    SetControls(2);
    SetLoader(kModule17);
    const FILETIME before = LastWrite();
    Sleep(50);
    EXPECT_EQ(Check(), 1);
    const FILETIME after = LastWrite();
    EXPECT_EQ(CompareFileTime(&before, &after), 0);
    EXPECT_THAT(LogReader().Messages(), Contains(L"Info: CheckVectaAppRegistrar: QELDAppReg.zep is correctly registered"));
}

TEST_F(CheckVectaAppRegistrarTest, ReleaseSeventeenNamesTheModuleEvenWhenItIsMissing) {
    SetProduct();
    ASSERT_EQ(GetFileAttributesW(kModule17.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Check(), 1);
    EXPECT_EQ(Stored().second, std::optional<std::wstring>(kModule17));
    EXPECT_THAT(client->Prepared(), Not(Contains(::testing::HasSubstr(L"QELDAppReg.zep"))));
}

TEST_F(CheckVectaAppRegistrarTest, EmptyVersionUsesReleaseSixteenAndTheSearchPath) {
    version.clear();
    client->answers[L"#(Appl:VectaVersion)"] = L"";
    const std::wstring found = L"C:\\Search\\QELDAppReg.zep";
    client->answers[L"#(FindFile \"QELDAppReg.zep\" \"#(Appl:SearchPath)\")"] = found;
    RegDeleteTreeW(HKEY_CURRENT_USER, Root().c_str());
    SetProduct();
    EXPECT_EQ(Check(), 1);
    EXPECT_EQ(Stored().second, std::optional<std::wstring>(found));
}

TEST_F(CheckVectaAppRegistrarTest, FailuresAreLoggedAndAnswerZero) {
    const std::wstring notFound = L"Error: CheckVectaAppRegistrar: Can't find QELDAppReg.zep in search path";
    struct Row {
        const char* name;
        bool product;
        const wchar_t* version;
        std::wstring entry;
        // Vecta would resolve a relative module in its working folder: never written.
        const wchar_t* zep = kZep;
        const wchar_t* found = nullptr;  // the search path's answer for release 16
        const wchar_t* refused = nullptr;
    } rows[] = {
        {"no product key name", false, nullptr, L"Error: CheckVectaAppRegistrar: Can't determine current Vecta version"},
        {"release 17 without add-in folder", true, nullptr, notFound, L"", nullptr, L"QELDAppReg17.zep"},
        {"release 17 with a relative add-in folder", true, nullptr, notFound, L"ZEP\\", nullptr, L"ZEP\\QELDAppReg17.zep"},
        {"release 17 with a drive-relative add-in folder", true, nullptr, notFound, L"C:ZEP\\", nullptr,
         L"C:ZEP\\QELDAppReg17.zep"},
        {"release 16 module not on the search path", true, L"R16.4-x", notFound},
        {"release 16 module found as a relative name", true, nullptr, notFound, kZep, L"QELDAppReg.zep",
         L"QELDAppReg.zep"},
        {"release 16 module found rooted but without drive", true, nullptr, notFound, kZep, L"\\pdm\\QELDAppReg.zep",
         L"\\pdm\\QELDAppReg.zep"},
        // "/" is a plain character in a registry key: the product key is there, yet not read.
        {"a release that is no single key name", true, L"R16.4-x/R17",
         L"Error: CheckVectaAppRegistrar: Refused release 'R16.4-x/R17': a release holds only letters, digits, marks "
         L"and \"-_.\"",
         kZep, L"C:\\pdm\\QELDAppReg.zep"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.version) {
            version = row.version;
            client->answers[L"#(Appl:VectaVersion)"] = version;
        }
        client->answers[L"$(CAICLIENTPATH:|+)ZEP\\"] = row.zep;
        client->answers[L"#(FindFile \"QELDAppReg.zep\" \"#(Appl:SearchPath)\")"] =
            row.found ? std::optional<std::wstring>(row.found) : std::nullopt;
        RegDeleteTreeW(HKEY_CURRENT_USER, Root().c_str());
        LogReader::Remove();
        if (row.product) SetProduct();
        EXPECT_EQ(Check(), 0);
        const auto messages = LogReader().Messages();
        // A refused path says what was refused, not that nothing was found.
        if (!row.refused) {
            EXPECT_THAT(messages, Contains(row.entry));
        } else {
            EXPECT_THAT(messages, Not(Contains(row.entry)));
            EXPECT_THAT(messages, Contains(L"Error: CheckVectaAppRegistrar: Refused path '" + std::wstring(row.refused) +
                                           L"': not an absolute path"));
        }
        EXPECT_FALSE(Stored().second.has_value());
    }
}

}  // namespace
