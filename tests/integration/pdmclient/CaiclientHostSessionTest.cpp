// End to end with a host: the demo workspace and session of examples/, VectaSim started by
// the component through the client's "___Shell", and what the session leaves behind.
#include "CaiclientSession.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "fakes/CSimProcess.h"
#include "support/ScopeGuard.h"
#include <windows.h>
#include <algorithm>

namespace {

class CaiclientHostSessionTest : public CaiclientSession {
protected:
    void SetUp() override {
        CopyFolder(WindowsPath(EXAMPLES_DIR), Workspace());
        // The demo workspace names the simulator through this variable, as scripts/demo.sh sets it.
        SetEnvironmentVariableW(L"VECTASIM", WindowsPath(VECTASIM_EXE).c_str());
    }
    // A session that failed before QELDQUIT leaves no Vecta behind for the next test.
    void TearDown() override {
        SetEnvironmentVariableW(L"VECTASIM", nullptr);
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        ComPtr<IVectaApplication> vecta;
        if (SUCCEEDED(CSimProcess::Bind(L"QELDVecta17Instance", L"Demo", vecta.put()))) vecta->Quit();
        vecta.reset();
        CoUninitialize();
    }

    std::string Example(const wchar_t* name) const { return Get(root, std::wstring(L"ws\\") + name); }
    // The demo workspace with the active-command wait small, so that busy checks poll quickly.
    std::string QuickDemoWorkspace() const {
        std::string json = Example(L"workspace.json");
        const std::string wait = "\"WaitForActiveCommand\": 2000";
        const size_t at = json.find(wait);
        EXPECT_NE(at, std::string::npos) << "the demo workspace sets the wait";
        if (at != std::string::npos) json.replace(at, wait.size(), "\"WaitForActiveCommand\": 100");
        return json;
    }
    std::string InWorkspace(const std::string& name) const { return TextCodec::ToUtf8(Workspace()) + "\\" + name; }
};

// examples/demo-session.txt as scripts/demo.sh runs it: every command works.
TEST_F(CaiclientHostSessionTest, TheDemoSession) {
    const CaiclientRun run = RunScript(QuickDemoWorkspace(), Example(L"demo-session.txt"), L" --unattended");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(run.out.find("FAILED"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Call ___Shell Shellexecute(open '"), std::string::npos) << run.out;

    const std::string list = InWorkspace("drawings\\Q-1000.dwg"), part = InWorkspace("drawings\\Q-1001.dwg");
    EXPECT_TRUE(LoggedInOrder(
        {"Info: Run() QELDCHECKAPPLICATION", "Info: Run() QELDOPEN " + list, "Info: Start of Vecta (simulated)",
         "Info: Correct Vecta (simulated) application with profile 'Demo' found.",
         "Info: UpdateDLQelkeys: Replace QELKEY of DL Q-0901 with QELKEY Q-1001",
         "Info: Run() COMMAND QELDUpdateAllTitleBlocks ", "Info: Run() QELDRESTORE",
         "Info: Run() QELDCHANGEQELKEY Q-2002 Q-2001", "Info: Run() QELDUPDATETITLEBLOCKS " + list,
         "Info: Run() QELDNEW " + InWorkspace("drawings\\Q-3001.dwg"), "Info: Run() QELDIMPORTTITLEATTRIBUTES " + part,
         "Info: Run() QELDPUBLISHPSX " + part, "Info: Run() QELDQUIT"}));
    for (const char* changed : {"changed drawings\\Q-1000.dwg", "new drawings\\Q-3001.dwg", "changed workspace.json",
                                "new vectasim-trace.txt", "new vx17log.err"})
        EXPECT_TRUE(Changed(changed)) << changed;
    EXPECT_EQ(Example(L"drawings\\Q-1000.dwg"),
              "VECTA DRAWING 1\nKEY=Q-1000\nREF=Q-1001\nREF=Q-2001\nTITLE.DESCRIPTION=Assembly drawing list\n")
        << "new keys for the old reference and the replaced document, the title from the database";
    EXPECT_NE(Example(L"drawings\\Q-3001.dwg").find("TITLE.DESCRIPTION=Cover plate"), std::string::npos);
    EXPECT_NE(Example(L"drawings\\Q-1001.dwg").find("TITLE.REVISION=C"), std::string::npos) << "imported";
    EXPECT_NE(Example(L"Q-1001.psx").find("KEY=Q-1001"), std::string::npos) << "published";
    EXPECT_NE(Example(L"vectasim-trace.txt").find("Application.Quit("), std::string::npos)
        << "QELDQUIT ended Vecta, no drawing being open any more";
}

// The host commands that attach to a running Vecta and never start one. QELDISAVAILABLEFORPUBLISHPSX
// finds it under the configured profile, which the later ones then use as the last-used one.
TEST_F(CaiclientHostSessionTest, HostCommandsAttachToARunningVectaAndNeverStartOne) {
    const std::string script =
        "QELDISAVAILABLEFORPUBLISHPSX\nQELDRESTORE\nCOMMAND \"QELDSHOWTITLE Q-1001 \"\nQELDQUIT\n";
    const std::string workspace = QuickDemoWorkspace();
    {
        SCOPED_TRACE("no Vecta running: nothing is started, the last-used profile stays unknown");
        const CaiclientRun run = RunScript(workspace, script);
        EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
        EXPECT_EQ(run.out.find("___Shell"), std::string::npos) << run.out;
        EXPECT_TRUE(PrintedInOrder(run, {"> QELDISAVAILABLEFORPUBLISHPSX", "HRESULT 0x00000000, result 0",
                                         "> QELDRESTORE", "HRESULT 0x80070057, result 1  FAILED", "> COMMAND",
                                         "HRESULT 0x80070057, result 1  FAILED", "> QELDQUIT",
                                         "HRESULT 0x80070057, result 1  FAILED"}));
        EXPECT_TRUE(LoggedInOrder({"Info: Vecta (simulated) with the required profile 'Demo' is not available",
                                   "Info: Run() QELDRESTORE", "Error: Attribute 'Profile' is not defined for this Application",
                                   "Info: Run() COMMAND QELDSHOWTITLE Q-1001 ", "Info: Run() QELDQUIT"}));
        EXPECT_EQ(changes, std::vector<std::string>{"new vx17log.err"});
    }
    {
        SCOPED_TRACE("Vecta running under the profile with no drawing open");
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        const ScopeGuard uninitialize([] { CoUninitialize(); });
        CSimProcess vecta;
        ASSERT_EQ(vecta.Start(L"Demo", L"R17", L"/trace \"" + Workspace() + L"\\trace.txt\""), S_OK);
        vecta.ReleaseApp();
        const CaiclientRun run = RunScript(workspace, script);
        EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
        EXPECT_TRUE(PrintedInOrder(run, {"> QELDISAVAILABLEFORPUBLISHPSX", "HRESULT 0x00000000, result 0",
                                         "> QELDRESTORE", "HRESULT 0x00000000, result 0", "> COMMAND",
                                         "result 1  FAILED", "> QELDQUIT", "HRESULT 0x00000000, result 0"}));
        EXPECT_NE(run.out.find("Call ___Environment VX16_LASTPROFILE=Demo"), std::string::npos) << run.out;
        EXPECT_TRUE(LoggedInOrder({"Info: Correct Vecta (simulated) application with profile 'Demo' found.",
                                   "Info: Run() QELDRESTORE", "Info: Run() COMMAND QELDSHOWTITLE Q-1001 ",
                                   "Error: SendCommand: Can't send command. There is no active document",
                                   "Info: Run() QELDQUIT"}));
        EXPECT_TRUE(vecta.WaitForExit(10000)) << "QELDQUIT ended Vecta, no drawing being open";
        EXPECT_NE(Example(L"trace.txt").find("Application.Quit() = 00000000"), std::string::npos);
    }
}

// Each document command on the demo workspace, in a session of its own.
TEST_F(CaiclientHostSessionTest, DocumentCommands) {
    struct Row {
        const char* why;
        std::string script;
        DWORD exitCode;
        std::vector<std::string> printed;      // in stdout, in this order
        std::vector<std::string> logged;       // log entries, in this order
        std::vector<std::string> changed;      // among the changes of the workspace folder
        std::vector<std::string> unchanged;    // not among them
        std::vector<std::pair<const wchar_t*, std::string>> contents;  // a file of the workspace holds a text
        std::vector<std::pair<const wchar_t*, std::string>> notContents;  // and does not hold one
    };
    const std::string q1000 = InWorkspace("drawings\\Q-1000.dwg"), q1001 = InWorkspace("drawings\\Q-1001.dwg");
    const std::string q3001 = InWorkspace("drawings\\Q-3001.dwg");
    const std::string a3 = InWorkspace("templates\\A3.dwg");
    const Row rows[] = {
        {"QELDOPEN starts Vecta through ___Shell and gives the list's references their new keys",
         ".document Q-1000\nQELDOPEN \"#(FILE)\"\nQELDQUIT\n", 0,
         {"> QELDOPEN", "Call m_ReportObsoleteDocuments", "Call ___Shell Shellexecute(open '",
          "Call ___ForAllRela db=Folder_xref_Child_Document", "HRESULT 0x00000000, result 0", "> QELDQUIT",
          "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDOPEN " + q1000, "Info: Start of Vecta (simulated)",
          "Info: Correct Vecta (simulated) application with profile 'Demo' found.",
          "Info: OpenDocument: Open document (Read-only: 0)", "Info: UpdateDLQelkeys: Update QELKEYs for DLs ...",
          "Info: UpdateDLQelkeys: Replace QELKEY of DL Q-0901 with QELKEY Q-1001", "Info: Run() QELDQUIT",
          "Info: QuitVecta: Don't quit Vecta, because there is still an active document"},
         {"changed drawings\\Q-1000.dwg", "changed workspace.json", "new vectasim-trace.txt", "new qel.lsp"}, {},
         {{L"drawings\\Q-1000.dwg", "REF=Q-1001"}, {L"vectasim-trace.txt", "QELDChangeTitleKey Q-0901 Q-1001"}},
         {{L"drawings\\Q-1000.dwg", "REF=Q-0901"}, {L"workspace.json", "Q-0901"}, {L"workspace.json", "Q-0900"}}},
        {"QELDNEW creates the drawing from the template and saves it under the record's file name",
         ".document Q-3001\nQELDNEW \"#(FILE)\"\nQELDQUIT\n", 0,
         {"> QELDNEW", "HRESULT 0x00000000, result 0", "> QELDQUIT", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDNEW " + q3001, "Info: NewDocument: Use template " + a3,
          "Info: NewDocument: Add document using template '" + a3 + "'", "Info: Run() QELDQUIT"},
         {"new drawings\\Q-3001.dwg"}, {},
         {{L"drawings\\Q-3001.dwg", "VECTA DRAWING 1"}}, {}},
        {"QELDCHANGEQELKEY has the add-in replace the key in the open drawing",
         "QELDOPEN \"#(FILE)\"\nQELDCHANGEQELKEY Q-1001 Q-1001A\nQELDQUIT\n", 0,
         {"> QELDCHANGEQELKEY \"Q-1001\" \"Q-1001A\"", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDOPEN " + q1001, "Info: Run() QELDCHANGEQELKEY Q-1001 Q-1001A", "Info: Run() QELDQUIT"},
         {}, {},
         {{L"vectasim-trace.txt", "Command.Run(\"QELDChangeTitleKey Q-1001 Q-1001A\")"}}, {}},
        {"QELDUPDATETITLEBLOCKS writes the record's fields into the title block and saves",
         "QELDUPDATETITLEBLOCKS \"#(FILE)\"\nQELDQUIT\n", 0,
         {"> QELDUPDATETITLEBLOCKS", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDUPDATETITLEBLOCKS " + q1001, "Info: SendCommand: Send command QELDUpdateAllTitleBlocks",
          "Info: UpdateAllTitleblocks: Save document"},
         {"changed drawings\\Q-1001.dwg"}, {},
         {{L"drawings\\Q-1001.dwg", "TITLE.DESCRIPTION=Bracket, welded"}, {L"drawings\\Q-1001.dwg", "TITLE.REVISION=C"}},
         {}},
        {"QELDIMPORTTITLEATTRIBUTES imports through the add-in and answers its outcome",
         "QELDIMPORTTITLEATTRIBUTES \"#(FILE)\"\nQELDQUIT\n", 0,
         {"> QELDIMPORTTITLEATTRIBUTES", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDIMPORTTITLEATTRIBUTES " + q1001, "Info: SendCommand: Send command QELDImportTitleAttribs"},
         {"changed drawings\\Q-1001.dwg"}, {},
         {{L"drawings\\Q-1001.dwg", "TITLE.REVISION=C"}}, {}},
        {"QELDIMPORTTITLEATTRIBUTES without the write right answers 4 and contacts no host",
         ".document Q-2002\nQELDIMPORTTITLEATTRIBUTES \"#(FILE)\"\n", 1,
         {"> QELDIMPORTTITLEATTRIBUTES", "HRESULT 0x00000000, result 4  FAILED"},
         {"Error: CCAI_Call::QELDImportTitleAttributes(): No write permission for the document in Fennory "
          "Professional: QELKEY = Q-2002"},
         {"new vx17log.err"}, {"changed drawings\\Q-2002.dwg", "new vectasim-trace.txt"}, {}, {}},
        {"QELDPUBLISHPSX has the add-in write the PSX file named by the document type, unattended",
         "QELDPUBLISHPSX \"#(FILE)\"\nQELDQUIT\n", 0,
         {"> QELDPUBLISHPSX", "HRESULT 0x00000000, result 0", "> QELDQUIT", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDPUBLISHPSX " + q1001, "Info: PublishPSX: Publish PSX on close", "Info: Run() QELDQUIT"},
         {"new Q-1001.psx"}, {"changed drawings\\Q-1001.dwg"},
         {{L"Q-1001.psx", "VECTA PSX 1\nSOURCE=Q-1001.dwg\nKEY=Q-1001\n"}, {L"vectasim-trace.txt", "Application.Quit("}},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TearDown();
        RemoveFolder(Workspace());
        SetUp();
        const CaiclientRun run = RunScript(QuickDemoWorkspace(), row.script);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
        EXPECT_TRUE(PrintedInOrder(run, row.printed));
        EXPECT_TRUE(LoggedInOrder(row.logged));
        for (const std::string& change : row.changed) EXPECT_TRUE(Changed(change)) << change;
        for (const std::string& change : row.unchanged) EXPECT_FALSE(Changed(change)) << change;
        for (const auto& [file, text] : row.contents)
            EXPECT_NE(Example(file).find(text), std::string::npos) << TextCodec::ToUtf8(file) << ": " << text;
        for (const auto& [file, text] : row.notContents)
            EXPECT_EQ(Example(file).find(text), std::string::npos) << TextCodec::ToUtf8(file) << ": " << text;
    }
}

}  // namespace
