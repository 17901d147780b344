// The Windows Installer package under Wine's own msiexec, in a prefix of its own: the rows
// against the component's own registration; install, upgrade, reinstall, refused downgrade,
// repair and removal as an administrator runs them, with the diagnosis tool the package
// installs; and the simulator leaving the PDM client's keys alone.
#include "fakes/CapturedProcess.h"
#include "fakes/RegistrySnapshot.h"
#include "fakes/TempFolder.h"
#include "support/ComPtr.h"
#include "support/ScopeGuard.h"
#include <msi.h>
#include <msiquery.h>
#include "TextCodec.h"
#include <gmock/gmock.h>
#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr wchar_t kUpgradeCode[] = L"{" UPGRADE_CODE L"}";
constexpr wchar_t kVendorFolder[] = L"C:\\Program Files (x86)\\Fennory Professional";
const std::wstring kFolder = std::wstring(kVendorFolder) + L"\\QELDVecta17x";
const std::wstring kInstalledDll = kFolder + L"\\QELDVecta17x.dll";
const std::wstring kInstalledTool = kFolder + L"\\caiclient.exe";
constexpr wchar_t kComponentClassKey[] = L"CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}";

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

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring Replaced(std::wstring text, const std::wstring& what, const std::wstring& with) {
    const size_t at = text.find(what);
    return at == std::wstring::npos ? text : text.replace(at, what.size(), with);
}

// The lines of the guide's code block that follows the title.
std::vector<std::string> GuideExample(const std::string& title) {
    const std::string guide = TempFolder::ReadBytes(WindowsPath(ADMIN_GUIDE));
    const size_t start = guide.find("```\n", guide.find(title));
    std::vector<std::string> lines;
    if (start == std::string::npos) return lines;
    std::istringstream text(guide.substr(start + 4));
    for (std::string line; std::getline(text, line) && line != "```";) lines.push_back(line);
    return lines;
}

// The output has a line that the guide's line stands for, "…" standing for any text.
bool HasLine(const std::string& output, const std::string& pattern) {
    const std::string any = "\u2026";
    std::vector<std::string> pieces;
    for (size_t from = 0;;) {
        const size_t cut = pattern.find(any, from);
        pieces.push_back(pattern.substr(from, cut - from));
        if (cut == std::string::npos) break;
        from = cut + any.size();
    }
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(pieces.front(), 0) != 0) continue;
        size_t at = pieces.front().size();
        for (size_t n = 1; n + 1 < pieces.size() && at != std::string::npos; ++n) {
            at = line.find(pieces[n], at);
            if (at != std::string::npos) at += pieces[n].size();
        }
        const std::string& last = pieces.back();
        if (pieces.size() == 1 ? line == pattern
                               : at != std::string::npos && line.size() >= at + last.size() &&
                                     line.compare(line.size() - last.size(), last.size(), last) == 0)
            return true;
    }
    return false;
}

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
    CapturedProcess Run(const std::wstring& program, const std::wstring& arguments, const std::wstring& outputName) {
        return CapturedProcess::Run(Quoted(program) + L" " + arguments, folder.Path(), outputName, 120000);
    }
    // What the PDM client's setup and the Vecta side register: cai_dll.tlb and the instance
    // monikers, through the build's caiclient, without the component.
    void RegisterClientAndMonikers() {
        const CapturedProcess registered =
            Run(WindowsPath(CAICLIENT_EXE),
                L"--register --no-component --from " + Quoted(Folder(WindowsPath(INSTANCE_DLL))) + L" --from " +
                    Quoted(Folder(WindowsPath(VECTASIM_EXE))),
                L"register.out");
        ASSERT_EQ(registered.exitCode, 0u) << registered.output;
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
    RegisterClientAndMonikers();
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

    // A registration from a build folder leaves the installed package's class alone.
    const RegistrySnapshot installed = RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY);
    const CapturedProcess registered = Run(WindowsPath(CAICLIENT_EXE), L"--register --from " + Quoted(Folder(kBuiltDll)),
                                           L"register-build.out");
    EXPECT_EQ(registered.exitCode, 0u) << registered.output;
    EXPECT_THAT(registered.output, HasSubstr("register the integration component: skipped, the installed package "
                                             "QELDVecta17x 8.1.42.0 registers it"));
    EXPECT_EQ(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY), installed);

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

// The guide's set-up of the client side (section "Setting up a workstation"), done as an
// administrator would: the client's settings in a workspace, the add-in folder with the
// registrar add-in, the publishing options, Vecta's release key from its registration.
std::wstring SetUpClientSide(const TempFolder& folder) {
    for (const wchar_t* name : {L"client", L"client\\ZEP", L"client\\ZEP\\x64", L"cai", L"cai\\Tessaro",
                                L"cai\\Tessaro\\common", L"cai\\Tessaro\\common\\PSX"})
        CreateDirectoryW(folder.File(name).c_str(), nullptr);
    for (const wchar_t* file : {L"client\\ZEP\\QELDAppReg17.zep", L"client\\ZEP\\x64\\QELDAppReg17.zep",
                                L"cai\\Tessaro\\common\\PSX\\Publish Options.xml"})
        TempFolder::WriteBytes(folder.File(file), "x");
    return folder.File(L"workspace.json");
}

void WriteWorkspace(const std::wstring& path, const std::string& activeCommandWait) {
    std::string sim = TextCodec::ToUtf8(WindowsPath(VECTASIM_EXE)), root = TextCodec::ToUtf8(Folder(path));
    for (std::string* text : {&sim, &root})
        for (size_t at = 0; (at = text->find('\\', at)) != std::string::npos; at += 2) text->insert(at, 1, '\\');
    TempFolder::WriteBytes(path, R"({"clientVersion": 530, "settings": {"Appl": {"Profile": "Lab", "ApplicationName": "Vecta",
        "ExeFileName": ")" + sim + R"(", "OpenArgument": "/profile Lab /release R17", "VectaVersion": "R17.1",
        "WaitForStartup": "60000", "WaitForActiveCommand": ")" + activeCommandWait + R"("}},
        "environment": {"WSPATH": ")" + root + R"(", "CAIPATH": ")" + root + R"(\\cai", "CAICLIENTPATH": ")" + root +
                                   R"(\\client"}})");
}

// The diagnosis from where the package installs it, on a healthy machine and on machines
// broken one way each: every row fails with its line, and after the fix the row names (the
// package's repair where it says so) the machine passes again with the package's keys as
// installed.
TEST_F(PackageTest, DiagnosisToolRepairOfADamagedInstallation) {
    RegisterClientAndMonikers();
    ASSERT_EQ(Msiexec(L"/i " + Quoted(kPackage), L"install.log"), 0u);
    const RegistrySnapshot installed = RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY);
    const std::wstring workspace = SetUpClientSide(folder);
    WriteWorkspace(workspace, "2000");
    const std::wstring diagnose = L"--diagnose --workspace " + Quoted(workspace);

    const CapturedProcess healthy = Run(kInstalledTool, L"--diagnose", L"healthy.out");
    EXPECT_EQ(healthy.exitCode, 0u) << healthy.output;
    EXPECT_THAT(healthy.output, Not(HasSubstr("FAILED"))) << healthy.output;
    const std::vector<std::string> example = GuideExample("A healthy machine:");
    EXPECT_GT(example.size(), 15u);
    for (const std::string& line : example)
        EXPECT_TRUE(line == "\u2026" || HasLine(healthy.output, line)) << "the guide's line\n" << line << "\nis not in\n"
                                                                         << healthy.output;
    const CapturedProcess setUp = Run(kInstalledTool, diagnose, L"set-up.out");
    EXPECT_EQ(setUp.exitCode, 0u) << setUp.output;

    const std::wstring copy = folder.File(L"Other\\QELDVecta17x.dll");
    CreateDirectoryW(Folder(copy).c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(kBuiltDll.c_str(), copy.c_str(), FALSE));
    const auto deleteClassKey = [] {
        HKEY classes = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &classes), 0);
        EXPECT_EQ(RegDeleteTreeW(classes, L"{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}"), 0);
        RegCloseKey(classes);
    };
    const std::string repairHint = "repair the package: msiexec /i \"";
    struct Row {
        const char* why;
        std::function<void()> damage;
        std::vector<std::string> lines;  // in the diagnosis' output; none: it passes
        const char* clientSays;          // in caiclient's answer to a command, if any
        bool repair;                     // the fix is the repair the diagnosis names, else the row's undo
        std::function<void()> undo;
    };
    const Row rows[] = {
        {"class key and DLL gone",
         [&] {
             deleteClassKey();
             EXPECT_TRUE(DeleteFileW(kInstalledDll.c_str()));
         },
         {"FAILED  component class {A43E0AB3-7A1F-44D1-8E59-E9462ED646AD} registered: ", "skipped component version: ",
          "FAILED  component package: QELDVecta17x 8.1.42.0 installed: " + TextCodec::ToUtf8(kInstalledDll) +
              ", which is missing -> " + repairHint},
         nullptr, true, nullptr},
        {"DLL deleted: no hand registration is blamed",
         [&] { EXPECT_TRUE(DeleteFileW(kInstalledDll.c_str())); },
         {"FAILED  component class file present: ", "skipped component version: ",
          "FAILED  component package: QELDVecta17x 8.1.42.0 installed: " + TextCodec::ToUtf8(kInstalledDll) +
              ", which is missing -> " + repairHint},
         "is installed: repair it: msiexec /i \"", true, nullptr},
        {"class key gone: the client names the repair, not --register", deleteClassKey,
         {"FAILED  component class {A43E0AB3-7A1F-44D1-8E59-E9462ED646AD} registered: "},
         "(not registered; the package QELDVecta17x 8.1.42.0 is installed: repair it: msiexec /i \"", true, nullptr},
        {"regsvr32 /u of a second copy leaves the package's keys",
         [&] {
             const CapturedProcess removed =
                 CapturedProcess::Run(L"regsvr32.exe /s /u " + Quoted(copy), folder.Path(), L"regsvr32-copy.out", 60000);
             EXPECT_EQ(removed.exitCode, 0u);
             EXPECT_THAT(removed.output, HasSubstr("QELDVecta17x: left the class and its ProgIDs in place"));
             EXPECT_THAT(removed.output, HasSubstr("QELDVecta17x: left the type library in place"));
             EXPECT_EQ(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY), installed);
         },
         {}, nullptr, false, [] {}},
        {"active-command wait above one hour", [&] { WriteWorkspace(workspace, "99999999999"); },
         {"FAILED  waits (#(Appl:WaitForStartup), #(Appl:WaitForActiveCommand)): WaitForStartup 60000, "
          "WaitForActiveCommand 99999999999: above the longest wait, 3600000 -> set Appl:WaitForActiveCommand to at most "
          "3600000 milliseconds"},
         nullptr, false, [&] { WriteWorkspace(workspace, "2000"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        row.damage();
        const CapturedProcess damaged = Run(kInstalledTool, diagnose, L"damaged.out");
        EXPECT_EQ(damaged.exitCode, row.lines.empty() ? 0u : 1u) << damaged.output;
        for (const std::string& line : row.lines) EXPECT_THAT(damaged.output, HasSubstr(line));
        EXPECT_THAT(damaged.output, Not(HasSubstr("hand registration")));
        if (row.clientSays) {
            const CapturedProcess client = Run(kInstalledTool, L"--workspace " + Quoted(workspace) + L" QELDCHECKAPPLICATION",
                                               L"client.out");
            EXPECT_THAT(client.output, HasSubstr(row.clientSays));
        }
        if (row.repair) {
            // The repair as the diagnosis names it: the package Windows Installer keeps.
            const size_t at = damaged.output.find(repairHint);
            ASSERT_NE(at, std::string::npos) << damaged.output;
            const std::string repair =
                damaged.output.substr(at + 20, damaged.output.find_first_of("\r\n", at) - at - 20);
            EXPECT_THAT(repair, HasSubstr(" REINSTALL=ALL REINSTALLMODE=amus /qn /l*v repair.log"));
            const std::wstring command = Replaced(TextCodec::FromUtf8(repair), L"repair.log", Quoted(folder.File(L"repair.log")));
            EXPECT_EQ(CapturedProcess::Run(command, folder.Path(), L"repair.out", 120000).exitCode, 0u);
        } else {
            row.undo();
        }
        EXPECT_EQ(FileVersion(kInstalledDll), CURRENT_VERSION);
        EXPECT_EQ(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY), installed);
        const CapturedProcess repaired = Run(kInstalledTool, diagnose, L"repaired.out");
        EXPECT_EQ(repaired.exitCode, 0u) << repaired.output;
    }
    EXPECT_NE(TempFolder::ReadBytes(WindowsPath(ADMIN_GUIDE)).find("REINSTALL=ALL REINSTALLMODE=amus /qn /l*v repair.log"),
              std::string::npos);

    ASSERT_EQ(Msiexec(L"/x " + Quoted(kPackage), L"remove.log"), 0u);
    ExpectNothingOfOursLeft();
}

// The guide's set-up of a test machine, its commands as written with the shipped example (the
// build and source folders filled in), run by the command prompt: every check passes. A session of
// the example then has the component write the user's demand-load key, which removal leaves.
TEST_F(PackageTest, TheGuidesSetUpOfATestMachineEndsWithEveryCheckOk) {
    const std::string title = "ends with `33 checks, 0 failed`:";
    std::string script;
    for (std::string line : GuideExample(title)) {
        for (const auto& [placeholder, path] : {std::pair<std::string, std::wstring>{"<build>", WindowsPath(BUILD_FOLDER)},
                                                {"<source>", WindowsPath(SOURCE_FOLDER)}})
            for (size_t at; (at = line.find(placeholder)) != std::string::npos;)
                line.replace(at, placeholder.size(), TextCodec::ToUtf8(path));
        script += line + "\r\n";
    }
    ASSERT_THAT(script, HasSubstr(TextCodec::ToUtf8(kPackage))) << "the guide installs the package the build made";
    const std::wstring example = L"C:\\work\\example";
    ASSERT_THAT(script, HasSubstr("cd /d " + TextCodec::ToUtf8(example)));
    const std::wstring file = folder.File(L"set-up.cmd");
    TempFolder::WriteBytes(file, script);
    const CapturedProcess setUp = CapturedProcess::Run(L"cmd.exe /c " + Quoted(file), folder.Path(), L"set-up.out", 240000);
    EXPECT_THAT(setUp.output, HasSubstr("\n33 checks, 0 failed")) << script << setUp.output;
    EXPECT_THAT(setUp.output, Not(HasSubstr("FAILED"))) << setUp.output;
    EXPECT_THAT(InstalledVersions(), ElementsAre(CURRENT_VERSION));

    // The prompt's "set VECTASIM=…" for the session, which runs outside it.
    SetEnvironmentVariableW(L"VECTASIM", WindowsPath(VECTASIM_EXE).c_str());
    const ScopeGuard unset([] { SetEnvironmentVariableW(L"VECTASIM", nullptr); });
    const CapturedProcess session = CapturedProcess::Run(
        Quoted(kInstalledTool) + L" --workspace workspace.json --script demo-session.txt --unattended", example,
        folder.Path(), L"session.out", L"", 120000);
    EXPECT_EQ(session.exitCode, 0u) << session.output;
    const wchar_t* runTimeKey = L"Software\\Tessaro\\Vecta\\R17.1\\VectaSim:409\\Applications\\QELDAppReg";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, runTimeKey, 0, KEY_READ, &key), 0) << session.output;
    RegCloseKey(key);
    ASSERT_EQ(Msiexec(L"/x " + Quoted(kPackage), L"remove.log"), 0u);
    ExpectNothingOfOursLeft();
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, runTimeKey, 0, KEY_READ, &key), 0) << "left to the PDM add-ins";
    RegCloseKey(key);
}

// The simulator registers its own library only: with the client's cai_dll.tlb gone, its
// start leaves the client's keys as they were, byte for byte.
TEST_F(PackageTest, SimulatorLeavesTheClientsKeysAlone) {
    const std::wstring library = folder.File(L"cai_dll.tlb");
    ASSERT_TRUE(CopyFileW(WindowsPath(CAI_DLL_TLB).c_str(), library.c_str(), FALSE));
    ComPtr<ITypeLib> clientLibrary;
    ASSERT_EQ(LoadTypeLibEx(library.c_str(), REGKIND_REGISTER, clientLibrary.put()), S_OK);
    clientLibrary.reset();
    ASSERT_TRUE(DeleteFileW(library.c_str()));
    const RegistrySnapshot clientKeys = RegistrySnapshot::ClientRegistration();
    ASSERT_FALSE(clientKeys.keys().empty());

    const CapturedProcess sim = Run(WindowsPath(VECTASIM_EXE), L"/profile Lab /release R17 /idle 1", L"vectasim.out");
    EXPECT_EQ(sim.exitCode, 0u) << sim.output;
    EXPECT_EQ(RegistrySnapshot::ClientRegistration().keys(), clientKeys.keys());
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
