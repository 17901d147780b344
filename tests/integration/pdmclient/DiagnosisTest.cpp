#include "CDiagnosisReport.h"
#include "CExpressionEvaluator.h"
#include "CInstallationCheck.h"
#include "CWorkspace.h"
#include "CWorkspaceCheck.h"
#include "CaiclientRun.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "fakes/CSimProcess.h"
#include "host/CRegistryKey.h"
#include "support/ScopeGuard.h"
#include <gtest/gtest.h>
#include <objbase.h>
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace {

constexpr wchar_t kTestRoot[] = L"Software\\Fennory\\caiclient-diagnosis-test";
constexpr wchar_t kComponentServer[] = L"CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}\\InprocServer32";
// The component registers its library under its locale 409, the PDM client under 0.
constexpr wchar_t kOwnLibrary[] = L"TypeLib\\{2770193E-CD7B-4FA1-A2F1-A6E36070E06E}\\1.0\\409\\win32";
constexpr wchar_t kClientLibrary[] = L"TypeLib\\{5D44F094-D3C1-11D3-8314-00A0C98B5456}\\2.0\\0\\win32";
constexpr wchar_t kInterfaceLink[] = L"Interface\\{5D44F092-D3C1-11D3-8314-00A0C98B5456}\\TypeLib";
constexpr wchar_t kMoniker17Server[] = L"CLSID\\{D4F55D8C-0F98-415D-80A0-4EF060452FB9}\\InprocServer32";
constexpr wchar_t kMoniker16Server[] = L"CLSID\\{5A202262-AAE7-430F-89DF-51A267C2E892}\\InprocServer32";
// Vecta's per-user release key, written under the test's root like the classes.
constexpr wchar_t kRelease[] = L"Vecta\\R17";

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// A log folder of a row's own without a vx17log.err yet, so that the row's change stays its own.
std::wstring Planted(const TempFolder& folder, const wchar_t* name) {
    const std::wstring planted = folder.File(name);
    CreateDirectoryW(planted.c_str(), nullptr);
    SetFileAttributesW((planted + L"\\vx17log.err").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW((planted + L"\\vx17log.err").c_str());
    return planted;
}

// A complete installation: registry values of a classes root (key, value name -> data)
// pointing at the built files, and the settings of a workspace whose files all exist.
struct Installation {
    std::map<std::pair<std::wstring, std::wstring>, std::wstring> registry;
    std::map<std::string, std::string> settings;  // Appl:*
    std::wstring logFolder;
    std::string workspaceFolder = "%WORKSPACE%";
    std::string clientFolder = "%WORKSPACE%\\\\client";
    std::optional<CInstalledPackage> package;  // none: registered by hand

    explicit Installation(const TempFolder& folder) : logFolder(folder.Path()) {
        const std::wstring component = WindowsPath(COMPONENT_DLL), instance = WindowsPath(INSTANCE_DLL);
        const std::wstring component17 = L"{A43E0AB3-7A1F-44d1-8E59-E9462ED646AD}";
        registry = {
            {{kComponentServer, L""}, component},
            {{L"QELDVecta17x.CAI_Call.1\\CLSID", L""}, component17},
            {{L"QELDVecta17x.CAI_Call\\CLSID", L""}, component17},
            {{L"QELDVecta17x.CAI_Call\\CurVer", L""}, L"QELDVecta17x.CAI_Call.1"},
            {{kOwnLibrary, L""}, component},
            {{kClientLibrary, L""}, Folder(WindowsPath(CAICLIENT_EXE)) + L"\\cai_dll.tlb"},
            {{kInterfaceLink, L""}, L"{5D44F094-D3C1-11D3-8314-00A0C98B5456}"},
            {{kInterfaceLink, L"Version"}, L"2.0"},
            {{L"QELDVecta17Instance\\CLSID", L""}, L"{D4F55D8C-0F98-415D-80A0-4EF060452FB9}"},
            {{kMoniker17Server, L""}, instance},
            {{L"QELDVecta16Instance\\CLSID", L""}, L"{5A202262-AAE7-430F-89DF-51A267C2E892}"},
            {{kMoniker16Server, L""}, instance},
            {{kRelease, L"CurVer"}, L"VectaSim:409"},
        };
        settings = {{"Profile", "Standard"},
                    {"OpenArgument", "/profile Standard /release R17"},
                    {"VectaVersion", "R17"},
                    {"ExeFileName", "%WORKSPACE%\\\\Vecta.exe"},
                    {"AddIns", "QELDVecta.vrx, other.vrx"}};
        for (const wchar_t* name : {L"client", L"client\\ZEP", L"config", L"cai", L"cai\\Tessaro", L"cai\\Tessaro\\common",
                                    L"cai\\Tessaro\\common\\PSX"})
            CreateDirectoryW(folder.File(name).c_str(), nullptr);
        for (const wchar_t* file : {L"Vecta.exe", L"client\\ZEP\\QELDVecta.vrx", L"config\\other.vrx", L"config\\QELDTitle.vrx",
                                    L"cai\\Tessaro\\common\\PSX\\Publish Options.xml", L"not-a-library.dll",
                                    L"client\\ZEP\\QELDAppReg17.zep"})
            Put(folder, file, "x");
    }

    std::string Json() const {
        std::string appl;
        for (const auto& [name, value] : settings) appl += (appl.empty() ? "" : ", ") + ("\"" + name + "\": \"" + value + "\"");
        return R"({"clientVersion": 530, "settings": {"Appl": {)" + appl +
               R"(}}, "environment": {"WSPATH": ")" + workspaceFolder +
               R"(", "CAIPATH": "%WORKSPACE%\\cai", "CAICLIENTPATH": ")" + clientFolder + R"("},
                  "searchPath": ["%WORKSPACE%\\config"]})";
    }
};

// Both checks over the installation, with the classes root written under HKCU; the lines printed.
std::vector<std::string> Diagnose(const TempFolder& folder, const Installation& installation) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    CRegistryKey root;
    EXPECT_EQ(root.Create(HKEY_CURRENT_USER, kTestRoot, KEY_ALL_ACCESS), ERROR_SUCCESS);
    for (const auto& [where, data] : installation.registry) {
        CRegistryKey key;
        EXPECT_EQ(key.Create(HKEY_CURRENT_USER, std::wstring(kTestRoot) + L"\\" + where.first, KEY_WRITE), ERROR_SUCCESS);
        EXPECT_EQ(key.WriteString(where.second, data), ERROR_SUCCESS);
    }
    std::ostringstream out;
    CDiagnosisReport report(out);
    HKEY classes = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestRoot, 0, KEY_READ, &classes), ERROR_SUCCESS);
    CInstallationCheck(report, installation.package, classes, 0).Run();
    RegCloseKey(classes);
    CWorkspace workspace;
    std::wstring error;
    EXPECT_TRUE(workspace.LoadText(installation.Json(), folder.File(L"workspace.json"), error)) << TextCodec::ToUtf8(error);
    const CExpressionEvaluator evaluator(workspace);
    CWorkspaceCheck(report, evaluator, installation.logFolder, std::wstring(kTestRoot) + L"\\Vecta").Run();
    report.Finish();
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    std::vector<std::string> lines;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

TEST(DiagnosisTest, EveryMissingLinkFailsItsOwnCheckAndNamesIt) {
    TempFolder folder;
    // The running object table needs COM.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ScopeGuard uninitialize([com] {
        if (SUCCEEDED(com)) CoUninitialize();
    });
    ASSERT_HRESULT_SUCCEEDED(CSimProcess::RegisterAll());
    CSimProcess vecta;
    ASSERT_HRESULT_SUCCEEDED(vecta.Start(L"Standard", L"R17"));
    using Change = std::function<void(Installation&)>;
    const auto drop = [](const wchar_t* key, const wchar_t* name = L"") -> Change {
        return [=](Installation& i) { i.registry.erase({key, name}); };
    };
    const auto set = [](const wchar_t* key, std::wstring data) -> Change {
        return [=](Installation& i) { i.registry[{key, L""}] = data; };
    };
    struct Row {
        const char* why;
        Change change;
        const char* failed;  // the one FAILED line starts so; none for the complete installation
        const char* alsoFailed = nullptr;  // a second FAILED line of the same cause
        const char* absent = nullptr;      // a text the output must not hold
        const char* ends = nullptr;        // how the FAILED line ends
    };
    const std::wstring notALibrary = folder.File(L"not-a-library.dll");
    const Row rows[] = {
        {"complete installation", [](Installation&) {}, nullptr},
        {"component class", drop(kComponentServer),
         "FAILED  component class {A43E0AB3-7A1F-44D1-8E59-E9462ED646AD} registered: "
         "HKCR\\CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}\\InprocServer32 is missing -> install the package: msiexec /i QELDVecta17x-"},
        {"component file gone", set(kComponentServer, folder.File(L"gone.dll")), "FAILED  component class file present: "},
        {"component file no library", set(kComponentServer, notALibrary), "FAILED  component class server: "},
        {"component file serves another class", set(kComponentServer, WindowsPath(INSTANCE_DLL)),
         "FAILED  component class server: "},
        {"installed by the package", [](Installation& i) { i.package = {L"8.1.42.0", WindowsPath(COMPONENT_DLL), L"", L""}; },
         nullptr},
        {"hand registration over the package",
         [&](Installation& i) { i.package = {L"8.1.42.0", folder.File(L"installed\\QELDVecta17x.dll"), L"", L""}; },
         "FAILED  component package: QELDVecta17x 8.1.42.0 installed: "},
        {"version-dependent ProgID", drop(L"QELDVecta17x.CAI_Call.1\\CLSID"),
         "FAILED  ProgID QELDVecta17x.CAI_Call.1 leads to the component class: HKCR\\QELDVecta17x.CAI_Call.1\\CLSID is missing"},
        {"current version of the ProgID", drop(L"QELDVecta17x.CAI_Call\\CurVer"),
         "FAILED  ProgID QELDVecta17x.CAI_Call leads to the component class: "},
        {"own type library", drop(kOwnLibrary),
         "FAILED  component type library {2770193E-CD7B-4FA1-A2F1-A6E36070E06E} 1.0 registered: "
         "HKCR\\TypeLib\\{2770193E-CD7B-4FA1-A2F1-A6E36070E06E}\\1.0\\409\\win32 is missing"},
        {"own type library unreadable", set(kOwnLibrary, notALibrary),
         "FAILED  component type library {2770193E-CD7B-4FA1-A2F1-A6E36070E06E} 1.0 loadable: "},
        {"client type library", drop(kClientLibrary),
         "FAILED  PDM client type library cai_dll.tlb {5D44F094-D3C1-11D3-8314-00A0C98B5456} 2.0 registered: "},
        {"interface key gone", drop(kInterfaceLink),
         "FAILED  ICAI_Call interface key leads to cai_dll.tlb: HKCR\\Interface\\{5D44F092-D3C1-11D3-8314-00A0C98B5456}"
         "\\TypeLib is missing"},
        {"interface key taken over by the component's library",
         [](Installation& i) {
             i.registry[{kInterfaceLink, L""}] = L"{2770193E-CD7B-4fa1-A2F1-A6E36070E06E}";
             i.registry[{kInterfaceLink, L"Version"}] = L"1.0";
         },
         "FAILED  ICAI_Call interface key leads to cai_dll.tlb: HKCR\\Interface\\{5D44F092-D3C1-11D3-8314-00A0C98B5456}"
         "\\TypeLib = {2770193E-CD7B-4fa1-A2F1-A6E36070E06E} version 1.0, not {5D44F094-D3C1-11D3-8314-00A0C98B5456} 2.0"},
        {"release 17 moniker name", drop(L"QELDVecta17Instance\\CLSID"),
         "FAILED  instance moniker QELDVecta17Instance class name registered: HKCR\\QELDVecta17Instance\\CLSID is missing"},
        {"release 16 moniker class", drop(kMoniker16Server),
         "FAILED  instance moniker QELDVecta16Instance {5A202262-AAE7-430F-89DF-51A267C2E892} registered: "},
        {"release 17 moniker file", set(kMoniker17Server, notALibrary),
         "FAILED  instance moniker QELDVecta17Instance server: "},
        {"profile", [](Installation& i) { i.settings.erase("Profile"); }, "FAILED  profile (#(Appl:Profile)): empty"},
        {"host program", [](Installation& i) { i.settings["ExeFileName"] = "C:\\\\nowhere\\\\Vecta.exe"; },
         "FAILED  host program (#(Appl:ExeFileName)): C:\\nowhere\\Vecta.exe does not exist"},
        {"host program named by a variable caiclient's environment lacks",
         [](Installation& i) { i.settings["ExeFileName"] = "%NO_SUCH_VARIABLE_35%\\\\Vecta.exe"; },
         "FAILED  host program (#(Appl:ExeFileName)): %NO_SUCH_VARIABLE_35%\\Vecta.exe does not exist: caiclient's "
         "environment has no NO_SUCH_VARIABLE_35 -> set NO_SUCH_VARIABLE_35 in caiclient's environment"},
        {"log folder", [&](Installation& i) { i.logFolder = folder.File(L"gone"); }, "FAILED  log folder writable: "},
        // A folder that exists and takes no file, for root too.
        {"log folder unwritable", [](Installation& i) { i.logFolder = L"Z:\\proc"; },
         "FAILED  log folder writable: Z:\\proc takes no vx17log.err -> "},
        {"log file read-only",
         [&](Installation& i) {
             i.logFolder = Planted(folder, L"read-only-log");
             Put(folder, L"read-only-log\\vx17log.err", "x");
             SetFileAttributesW((i.logFolder + L"\\vx17log.err").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         "FAILED  log folder writable: "},
        {"log planted as a second name of another file",
         [&](Installation& i) {
             i.logFolder = Planted(folder, L"linked-log");
             CreateHardLinkW((i.logFolder + L"\\vx17log.err").c_str(), folder.File(L"not-a-library.dll").c_str(), nullptr);
         },
         "FAILED  log folder writable: "},
        {"wait above the longest", [](Installation& i) { i.settings["WaitForActiveCommand"] = "99999999999"; },
         "FAILED  waits (#(Appl:WaitForStartup), #(Appl:WaitForActiveCommand)): WaitForStartup (default), "
         "WaitForActiveCommand 99999999999: above the longest wait, 3600000 -> set Appl:WaitForActiveCommand to at most "
         "3600000 milliseconds"},
        // Only the active-command wait is doubled after a start.
        {"start-up wait above the longest", [](Installation& i) { i.settings["WaitForStartup"] = "3600001"; },
         "FAILED  waits (#(Appl:WaitForStartup), #(Appl:WaitForActiveCommand)): WaitForStartup 3600001, "
         "WaitForActiveCommand (default): above the longest wait, 3600000 -> set Appl:WaitForStartup to at most "
         "3600000 milliseconds: the component cuts a longer wait to one hour\n",
         nullptr, "17.2"},
        {"workspace folder missing", [](Installation& i) { i.workspaceFolder = "%WORKSPACE%\\\\gone"; },
         "FAILED  workspace folder writable ($(WSPATH:/+)): ", nullptr, nullptr,
         "\\gone does not exist -> create it or correct WSPATH"},
        {"workspace folder takes no file", [](Installation& i) { i.workspaceFolder = "Z:\\\\proc"; },
         "FAILED  workspace folder writable ($(WSPATH:/+)): Z:\\proc takes no file -> "},
        {"release key without CurVer", drop(kRelease, L"CurVer"),
         "FAILED  Vecta release key (#(Appl:VectaVersion)): HKCU\\Software\\Fennory\\caiclient-diagnosis-test\\Vecta\\R17"
         "\\CurVer is missing -> "},
        {"registrar add-in missing",
         [&](Installation&) { DeleteFileW(folder.File(L"client\\ZEP\\QELDAppReg17.zep").c_str()); },
         "FAILED  registrar add-in: "},
        {"start arguments for another profile", [](Installation& i) { i.settings["OpenArgument"] = "/profile Standard2"; },
         "FAILED  start arguments (#(Appl:OpenArgument)): '/profile Standard2' do not name the profile 'Standard' -> "},
        {"no start arguments", [](Installation& i) { i.settings.erase("OpenArgument"); },
         "FAILED  start arguments (#(Appl:OpenArgument)): empty do not name the profile 'Standard' -> "},
        {"Vecta runs under another profile only",
         [](Installation& i) {
             i.settings["Profile"] = "Other";
             i.settings["OpenArgument"] = "/profile \\\"Other\\\"";
         },
         "FAILED  Vecta instances running: 'Standard' (QELDVecta17Instance); the configured profile 'Other' "
         "(QELDVecta17Instance) is not running: the component starts Vecta for it -> quit the Vecta running under "
         "'Standard' (QELDVecta17Instance)"},
        {"own add-in only in the search path",
         [](Installation& i) { i.settings["AddIns"] = "other.vrx,QELDTitle.vrx"; },
         "FAILED  add-in QELDTitle.vrx: QELDTitle.vrx is not in "},
        {"empty add-in entry", [](Installation& i) { i.settings["AddIns"] = "QELDVecta.vrx,,other.vrx"; },
         "FAILED  add-in (empty entry): "},
        // Judged as the component judges it: a relative add-in folder is refused, so neither the
        // add-ins nor the registrar add-in reach Vecta.
        {"relative add-in folder", [](Installation& i) { i.clientFolder = "client"; },
         "FAILED  registrar add-in: client\\ZEP\\QELDAppReg17.zep is refused: not an absolute path -> ",
         "FAILED  add-in QELDVecta.vrx: client\\ZEP\\QELDVecta.vrx is refused: not an absolute path -> "},
        {"publishing options",
         [&](Installation&) { DeleteFileW(folder.File(L"cai\\Tessaro\\common\\PSX\\Publish Options.xml").c_str()); },
         "FAILED  publishing options file: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        Installation installation(folder);
        row.change(installation);
        const std::vector<std::string> lines = Diagnose(folder, installation);
        std::vector<std::string> failed;
        for (const std::string& line : lines)
            if (line.rfind("FAILED", 0) == 0) failed.push_back(line);
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        // The same number of lines on every machine: a check that cannot run is printed as skipped.
        const std::string addIns = installation.settings["AddIns"];
        const size_t expected = 31 + std::count(addIns.begin(), addIns.end(), ',');
        EXPECT_EQ(lines.back().rfind(std::to_string(expected) + " checks, ", 0), 0u) << all;
        if (!row.failed) {
            EXPECT_TRUE(failed.empty()) << all;
            EXPECT_NE(all.find("\nok      Vecta instances running: 'Standard' (QELDVecta17Instance); the configured profile "
                               "'Standard' (QELDVecta17Instance) is running\n"),
                      std::string::npos)
                << all;
            continue;
        }
        ASSERT_EQ(failed.size(), row.alsoFailed ? 2u : 1u) << all;
        EXPECT_EQ((failed[0] + "\n").rfind(row.failed, 0), 0u) << all;
        if (row.absent) {
            EXPECT_EQ(all.find(row.absent), std::string::npos) << all;
        }
        if (row.ends) {
            EXPECT_TRUE(failed[0].ends_with(row.ends)) << failed[0];
        }
        EXPECT_NE(failed[0].find(" -> "), std::string::npos) << "says what to do";
        if (row.alsoFailed) {
            EXPECT_EQ(failed[1].rfind(row.alsoFailed, 0), 0u) << all;
        }
        EXPECT_NE(all.find(row.alsoFailed ? "2 failed" : "1 failed"), std::string::npos) << all;
    }
}

}  // namespace

namespace {

TEST(DiagnosisTest, CaiclientDiagnosesTheRegisteredMachine) {
    TempFolder folder;
    std::wstring from;
    for (const char* file : {COMPONENT_DLL, INSTANCE_DLL})
        from += L" --from \"" + Folder(WindowsPath(file)) + L"\"";
    ASSERT_EQ(RunCaiclient(folder, L"--register" + from).exitCode, 0u);

    const CaiclientRun machine = RunCaiclient(folder, L"--diagnose");
    EXPECT_EQ(machine.exitCode, 0u) << machine.out;
    EXPECT_EQ(machine.out.find("FAILED"), std::string::npos) << machine.out;
    for (const char* line :
         {"ok      component class {A43E0AB3-7A1F-44D1-8E59-E9462ED646AD} registered: ", "ok      component class server: ",
          "ok      component version: 8.", "ok      ProgID QELDVecta17x.CAI_Call.1 leads", "ok      ProgID QELDVecta17x.CAI_Call leads",
          "ok      component type library {2770193E-CD7B-4FA1-A2F1-A6E36070E06E} 1.0 loadable: ",
          "ok      PDM client type library cai_dll.tlb {5D44F094-D3C1-11D3-8314-00A0C98B5456} 2.0 loadable: ",
          "ok      ICAI_Call interface key leads to cai_dll.tlb: ",
          "ok      instance moniker QELDVecta17Instance server: ", "ok      instance moniker QELDVecta16Instance server: "})
        EXPECT_NE(("\n" + machine.out).find(std::string("\n") + line), std::string::npos) << line << "\n" << machine.out;

    const CaiclientRun broken = RunCaiclient(folder, L"--diagnose --workspace missing.json");
    EXPECT_EQ(broken.exitCode, 1u) << broken.out;
    EXPECT_NE(broken.out.find("FAILED  workspace missing.json: "), std::string::npos) << broken.out;
    // A syntax error by its line and column; the workspace's checks skipped, not left out.
    Put(folder, L"bad.json", "{\n  \"clientVersion\": 530,\n  \"settings\": {\"Appl\": {\"Profile\": \"Lab\",}}\n}\n");
    const CaiclientRun unparsed = RunCaiclient(folder, L"--diagnose --workspace bad.json");
    EXPECT_EQ(unparsed.exitCode, 1u) << unparsed.out;
    EXPECT_NE(unparsed.out.find("FAILED  workspace bad.json: bad.json:3:42: syntax error"), std::string::npos)
        << unparsed.out;
    EXPECT_NE(unparsed.out.find("\nskipped profile (#(Appl:Profile)): the workspace does not load"), std::string::npos)
        << unparsed.out;
    EXPECT_NE(unparsed.out.find("\n32 checks, 1 failed"), std::string::npos) << unparsed.out;
    EXPECT_NE(RunCaiclient(folder, L"--help").out.find("--diagnose [--workspace FILE]"), std::string::npos);
}

}  // namespace
