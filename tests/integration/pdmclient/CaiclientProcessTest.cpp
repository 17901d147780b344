#include "CaiclientRun.h"
#include "SampleWorkspace.h"
#include <gtest/gtest.h>

namespace {

TEST(CaiclientProcessTest, ErrorsAreClearAndExitNonZero) {
    TempFolder folder;
    const std::string malformed = "{\n  \"clientVersion\": 530,\n  \"documents\": [\n    {\"QELKEY\": \"1\"}\n    {\"QELKEY\": \"2\"}\n  ]\n}\n";
    Put(folder, L"bad.json", malformed);
    Put(folder, L"dangling.json", R"({"documents": [{"QELKEY": "1"}], "references": [{"parent": "1", "child": "7"}]})");
    Put(folder, L"ok.json", R"({"clientVersion": 530, "documents": [{"QELKEY": "1"}], "currentDocument": "1"})");
    Put(folder, L"bad-script.txt", "# a session\nQELDCHECKAPPLICATION x\nCOMMAND \"unterminated\n");
    Put(folder, L"long-script.txt", "COMMAND one two three\n");
    struct Row {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* expected;  // in stderr
        const char* why;
    };
    const Row rows[] = {
        {L"-w bad.json QELDCHECKAPPLICATION x", 2, "bad.json:5:5: syntax error while parsing array", "malformed JSON"},
        {L"-w dangling.json QELDCHECKAPPLICATION x", 2, "dangling.json: /references/0/child: must be the QELKEY",
         "inconsistent workspace"},
        {L"-w missing.json QELDCHECKAPPLICATION x", 2, "missing.json: cannot read the workspace file", "missing file"},
        {L"QELDCHECKAPPLICATION x", 2, "no workspace file", "no workspace"},
        {L"-w ok.json", 2, "no command", "nothing to run"},
        {L"-w ok.json --frobnicate QELDQUIT", 2, "unknown option --frobnicate", "unknown option"},
        {L"-w ok.json --script bad-script.txt", 2, "bad-script.txt: line 3: missing closing quote", "script error"},
        {L"-w ok.json --script long-script.txt", 2, "line 1: a command takes at most two arguments", "too many words"},
        {L"-w ok.json --script none.txt", 2, "none.txt: ", "missing script"},
        {L"-w ok.json --document 9 QELDQUIT x", 2, "--document 9: no document record", "unknown document"},
        {L"-w ok.json --progid Nothing.Here QELDQUIT x", 3, "cannot create Nothing.Here", "component not registered"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const CaiclientRun outcome = RunCaiclient(folder, row.arguments);
        EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.err;
        EXPECT_NE(outcome.err.find(row.expected), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("caiclient: unexpected"), std::string::npos);
    }
    EXPECT_FALSE(Exists(folder, L"vx17log.err")) << "no command reached the component";
    EXPECT_EQ(Get(folder, L"bad.json"), malformed) << "a malformed file is left as it was";
}

TEST(CaiclientProcessTest, HelpDocumentsTheClient) {
    TempFolder folder;
    const CaiclientRun outcome = RunCaiclient(folder, L"--help");
    EXPECT_EQ(outcome.exitCode, 0u);
    for (const char* part : {"--workspace", "--script", "--register", "--unregister", "Exit status", "___ForAllRela",
                             "#(FindFile", "currentDocument", "VX16003"})
        EXPECT_NE(outcome.out.find(part), std::string::npos) << part;
}

}  // namespace

namespace {

bool CaiTypeLibraryRegistered() {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib\\{5D44F094-D3C1-11D3-8314-00A0C98B5456}\\2.0",
                                         0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

TEST(CaiclientProcessTest, RegisterAndUnregisterWhatIsThereAndSkipTheRest) {
    TempFolder folder;
    CaiclientRun outcome = RunCaiclient(folder, L"--unregister --from C:\\no-such-folder");
    EXPECT_EQ(outcome.exitCode, 0u) << outcome.out;
    EXPECT_FALSE(CaiTypeLibraryRegistered());

    outcome = RunCaiclient(folder, L"--register --from C:\\no-such-folder");
    EXPECT_EQ(outcome.exitCode, 0u) << outcome.out;
    EXPECT_TRUE(CaiTypeLibraryRegistered());
    EXPECT_NE(outcome.out.find("register the PDM client's type library: "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("cai_dll.tlb ok"), std::string::npos) << outcome.out;
    // Under the path caiclient found, as other readers of the key expect it (no "\\?\" before it).
    wchar_t registered[MAX_PATH] = L"";
    DWORD size = sizeof registered;
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"TypeLib\\{5D44F094-D3C1-11D3-8314-00A0C98B5456}\\2.0\\0\\win32", nullptr,
                           RRF_RT_REG_SZ, nullptr, registered, &size),
              ERROR_SUCCESS);
    const std::wstring client = WindowsPath(CAICLIENT_EXE);
    EXPECT_EQ(std::wstring(registered), client.substr(0, client.rfind(L'\\')) + L"\\cai_dll.tlb");
    for (const char* skipped : {"QELDVecta17Instance.dll not found", "VectaSim.exe not found"})
        EXPECT_NE(outcome.out.find(skipped), std::string::npos) << outcome.out;
}

TEST(CaiclientProcessTest, AFileThatCannotRegisterFailsTheRun) {
    TempFolder folder;
    Put(folder, L"QELDVecta17x.dll", "not a library");
    const CaiclientRun outcome = RunCaiclient(folder, L"--register --from \"" + folder.Path() + L"\"");
    EXPECT_EQ(outcome.exitCode, 4u) << outcome.out;
    EXPECT_NE(outcome.out.find("QELDVecta17x.dll FAILED (0x"), std::string::npos) << outcome.out;
    // Left out, the component is not touched.
    const CaiclientRun without = RunCaiclient(folder, L"--register --no-component --from \"" + folder.Path() + L"\"");
    EXPECT_EQ(without.exitCode, 0u) << without.out;
    EXPECT_NE(without.out.find("register the integration component: skipped, --no-component"), std::string::npos)
        << without.out;
}

}  // namespace
