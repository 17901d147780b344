// The Windows Installer package under Wine's own msiexec, in a prefix of its own: the rows
// against the component's own registration, and install, upgrade, reinstall, refused
// downgrade and removal as an administrator runs them.
#include "fakes/CapturedProcess.h"
#include "fakes/RegistrySnapshot.h"
#include "fakes/TempFolder.h"
#include "support/ComPtr.h"
#include "support/ScopeGuard.h"
#include <msi.h>
#include <msiquery.h>
#include <gmock/gmock.h>
#include <cstdio>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr wchar_t kUpgradeCode[] = L"{61A60127-6130-4C1E-ABC1-5EA364BB69E3}";
constexpr wchar_t kVendorFolder[] = L"C:\\Program Files (x86)\\Fennory Professional";
const std::wstring kFolder = std::wstring(kVendorFolder) + L"\\QELDVecta17x";
const std::wstring kInstalledDll = kFolder + L"\\QELDVecta17x.dll";

std::wstring WindowsPath(const wchar_t* unixPath) {
    std::wstring path = std::wstring(L"Z:") + unixPath;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

const std::wstring kPackage = WindowsPath(PACKAGE_MSI);
const std::wstring kPrevious = WindowsPath(PREVIOUS_MSI);
const std::wstring kBuiltDll = WindowsPath(COMPONENT_DLL);

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The versions of the products installed with the component's upgrade code.
std::vector<std::wstring> InstalledVersions() {
    std::vector<std::wstring> products;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        wchar_t version[64];
        DWORD length = 64;
        MsiGetProductInfoW(code, INSTALLPROPERTY_VERSIONSTRING, version, &length);
        products.emplace_back(version);
    }
    return products;
}

std::wstring FileVersion(const std::wstring& path) {
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (block.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &size))
        return L"none";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The component's keys in the 32-bit view as text, its module path and folder replaced by
// placeholders: what differs between a package install and regsvr32 of another copy.
std::map<std::wstring, std::map<std::wstring, std::wstring>> Normalised(const RegistrySnapshot& snapshot,
                                                                        const std::wstring& module) {
    const std::wstring folder = module.substr(0, module.rfind(L'\\'));
    std::map<std::wstring, std::map<std::wstring, std::wstring>> texts;
    for (const auto& [key, values] : snapshot.keys()) {
        auto& row = texts[key];
        for (const auto& [name, value] : values) {
            std::wstring text = value.type == REG_SZ ? value.Text() : L"type " + std::to_wstring(value.type);
            if (_wcsicmp(text.c_str(), module.c_str()) == 0) text = L"<module>";
            if (_wcsicmp(text.c_str(), folder.c_str()) == 0 || _wcsicmp(text.c_str(), (folder + L"\\").c_str()) == 0)
                text = L"<folder>";
            row[name] = text;
        }
    }
    return texts;
}

class PackageTest : public ::testing::Test {
protected:
    // msiexec with its options, quiet and logged; its exit code.
    DWORD Msiexec(const std::wstring& options, const std::wstring& logName) {
        const std::wstring log = folder.File(logName);
        return CapturedProcess::Run(L"msiexec.exe " + options + L" /qn /l*v " + Quoted(log), folder.Path(),
                                    logName + L".out", 120000)
            .exitCode;
    }
    DWORD Regsvr32(const std::wstring& options) {
        return CapturedProcess::Run(L"regsvr32.exe /s " + options + Quoted(kBuiltDll), folder.Path(), L"regsvr32.out",
                                    60000)
            .exitCode;
    }
    void ExpectNothingOfOursLeft() {
        EXPECT_FALSE(Exists(kVendorFolder));
        EXPECT_TRUE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY).keys().empty());
        EXPECT_TRUE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_64KEY).keys().empty());
        EXPECT_TRUE(InstalledVersions().empty());
    }

    TempFolder folder;
};

// The package's registry rows and the registration script must not drift apart.
TEST_F(PackageTest, RowsMatchTheKeysTheComponentRegistersItself) {
    ASSERT_EQ(Regsvr32(L""), 0u);
    const auto registered = Normalised(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY), kBuiltDll);
    ASSERT_EQ(Regsvr32(L"/u "), 0u);
    ASSERT_TRUE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY).keys().empty());

    ASSERT_EQ(Msiexec(L"/i " + Quoted(kPackage), L"install.log"), 0u);
    EXPECT_EQ(Normalised(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY), kInstalledDll), registered);
    EXPECT_EQ(registered.count(L"32:CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}\\InprocServer32"), 1u);
    ASSERT_EQ(Msiexec(L"/x " + Quoted(kPackage), L"remove.log"), 0u);
    ExpectNothingOfOursLeft();
}

TEST_F(PackageTest, InstallUpgradeReinstallRefusedDowngradeAndRemoval) {
    ComPtr<ITypeLib> clientLibrary;
    ASSERT_EQ(LoadTypeLibEx(WindowsPath(CAI_DLL_TLB).c_str(), REGKIND_REGISTER, clientLibrary.put()), S_OK);
    clientLibrary.reset();
    const RegistrySnapshot clientKeys = RegistrySnapshot::ClientRegistration();
    ASSERT_FALSE(clientKeys.keys().empty());

    ASSERT_EQ(Msiexec(L"/i " + Quoted(kPrevious), L"previous.log"), 0u);
    EXPECT_THAT(InstalledVersions(), ElementsAre(PREVIOUS_VERSION));
    EXPECT_EQ(FileVersion(kInstalledDll), PREVIOUS_VERSION);

    ASSERT_EQ(Msiexec(L"/i " + Quoted(kPackage), L"upgrade.log"), 0u);
    EXPECT_THAT(InstalledVersions(), ElementsAre(CURRENT_VERSION));
    EXPECT_EQ(FileVersion(kInstalledDll), CURRENT_VERSION);

    EXPECT_EQ(Msiexec(L"/i " + Quoted(kPackage), L"again.log"), 0u);
    EXPECT_THAT(InstalledVersions(), ElementsAre(CURRENT_VERSION));

    // The PDM client creates the installed component by its ProgID.
    const std::wstring workspace = folder.File(L"workspace.json");
    TempFolder::WriteBytes(workspace, R"({"clientVersion": 530, "settings": {"Appl": {"Profile": "Lab"}}})");
    const CapturedProcess client = CapturedProcess::Run(
        Quoted(WindowsPath(CAICLIENT_EXE)) + L" --workspace " + Quoted(workspace) + L" --trace QELDCHECKAPPLICATION",
        folder.Path(), L"caiclient.out", 60000);
    EXPECT_EQ(client.exitCode, 0u) << client.output;
    EXPECT_THAT(client.output, HasSubstr("RETVECTAProfile=Lab"));

    EXPECT_EQ(Msiexec(L"/i " + Quoted(kPrevious), L"downgrade.log"), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_THAT(InstalledVersions(), ElementsAre(CURRENT_VERSION));
    EXPECT_EQ(FileVersion(kInstalledDll), CURRENT_VERSION);

    ASSERT_EQ(Msiexec(L"/x " + Quoted(kPackage), L"remove.log"), 0u);
    ExpectNothingOfOursLeft();
    EXPECT_EQ(RegistrySnapshot::ClientRegistration(), clientKeys);
}

// Under Wine the refusal's message is shown, not logged: the package must carry it.
TEST_F(PackageTest, DowngradeIsRefusedWithAMessage) {
    MSIHANDLE database = 0, view = 0, record = 0;
    const ScopeGuard close([&] {
        for (MSIHANDLE handle : {record, view, database})
            if (handle) MsiCloseHandle(handle);
    });
    ASSERT_EQ(MsiOpenDatabaseW(kPackage.c_str(), MSIDBOPEN_READONLY, &database), 0u);
    EXPECT_EQ(MsiDatabaseOpenViewW(database, L"SELECT `Condition`, `Description` FROM `LaunchCondition`", &view), 0u);
    EXPECT_EQ(MsiViewExecute(view, 0), 0u);
    EXPECT_EQ(MsiViewFetch(view, &record), 0u);
    wchar_t condition[256] = L"", message[512] = L"";
    DWORD conditionLength = 256, messageLength = 512;
    MsiRecordGetStringW(record, 1, condition, &conditionLength);
    MsiRecordGetStringW(record, 2, message, &messageLength);
    EXPECT_STREQ(condition, L"NOT WIX_DOWNGRADE_DETECTED");
    EXPECT_STREQ(message,
                 L"A newer version of QELDVecta17x is already installed. Remove it first to install this older version.");
}

}  // namespace
