// End to end: caiclient.exe as a process, the component registered in the prefix and created
// by ProgID, a script of commands, and what the user sees afterwards: the exit status, the
// printed result codes, the log and the files in the workspace folder.
#include "CaiclientSession.h"
#include "SampleWorkspace.h"

namespace {

using CaiclientSessionTest = CaiclientSession;

TEST_F(CaiclientSessionTest, CommandsThatNeedNoHost) {
    struct Row {
        const char* script;
        DWORD exitCode;
        std::vector<std::string> printed;  // in stdout, in this order
        std::vector<std::string> logged;   // log entries, in this order
        std::vector<const char*> notLogged;
    };
    const Row rows[] = {
        {"QELDCHECKAPPLICATION\n", 0,
         {"> QELDCHECKAPPLICATION", "Call ___Environment RETVECTAProfile=Standard -> 0", "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDCHECKAPPLICATION", "Info: Fennory Professional Prepare(#(Appl:Profile)) = Standard",
          "Info: Fennory Professional Call(___Environment, RETVECTAProfile=Standard)"},
         {}},
        {"qeldcheckapplication ignored\n", 0, {"HRESULT 0x00000000, result 0"}, {"Info: Run() QELDCHECKAPPLICATION"}, {}},
        {"QELDSETLOGLEVEL 0\nQELDCHECKAPPLICATION\nNOSUCH a b\n", 1,
         {"> QELDSETLOGLEVEL \"0\"", "HRESULT 0x00000000, result 0", "> QELDCHECKAPPLICATION",
          "HRESULT 0x00000000, result 0", "> NOSUCH \"a\" \"b\"", "HRESULT 0x80004005, result 1  FAILED"},
         {"Info: Run() QELDSETLOGLEVEL 0 ", "Error: Run() NOSUCH (a, b) not supported"},
         {"Info: Run() QELDCHECKAPPLICATION"}},
        {"QELDSETLOGLEVEL none\nQELDCHECKAPPLICATION\n", 0, {"HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDSETLOGLEVEL none "}, {"Info: Run() QELDCHECKAPPLICATION"}},
        {"QELDSETLOGLEVEL 1\nQELDCHECKAPPLICATION\n", 0, {"HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDSETLOGLEVEL 1 ", "Info: Run() QELDCHECKAPPLICATION",
          "Info: Fennory Professional Prepare(#(Appl:Profile)) = Standard"},
         {}},
        {"QELDSETSILENTMODE true\nQELDSETSILENTMODE Yes\n", 0,
         {"> QELDSETSILENTMODE \"true\"", "HRESULT 0x00000000, result 0", "> QELDSETSILENTMODE \"Yes\"",
          "HRESULT 0x00000000, result 0"},
         {"Info: Run() QELDSETSILENTMODE TRUE ", "Info: Run() QELDSETSILENTMODE YES "}, {}},
        {"NoSuchCommand First second\n", 1, {"> NoSuchCommand \"First\" \"second\"", "HRESULT 0x80004005, result 1  FAILED"},
         {"Error: Run() NOSUCHCOMMAND (First, second) not supported"}, {}},
        {"\"\" a\n", 1, {"HRESULT 0x80004005, result 1  FAILED"}, {"Error: Run()  (a, ) not supported"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        const CaiclientRun run = RunScript(SampleWorkspaceJson(root), row.script);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
        EXPECT_TRUE(PrintedInOrder(run, row.printed));
        EXPECT_TRUE(LoggedInOrder(row.logged));
        for (const char* absent : row.notLogged) EXPECT_FALSE(Logged(absent)) << absent;
        EXPECT_EQ(changes, std::vector<std::string>{"new vx17log.err"}) << "the workspace file is unchanged";
    }
}

// Quiet mode turns the component's messages into log entries: a host that is not running under
// the last-used profile is reported to the user, or in quiet mode to the log only.
TEST_F(CaiclientSessionTest, SilentModeSendsMessagesToTheLog) {
    std::string json = SampleWorkspaceJson(root);
    const std::string environment = "\"environment\": {";
    json.insert(json.find(environment) + environment.size(), "\"VX16_LASTPROFILE\": \"Standard\", ");
    const std::string message = "Message: Vecta with the profile Standard is not available.";
    for (const bool quiet : {true, false}) {
        SCOPED_TRACE(quiet ? "silent" : "attended: a message box, which headless Wine closes at once");
        const CaiclientRun run =
            RunScript(json, std::string("QELDSETSILENTMODE ") + (quiet ? "True" : "no") + "\nQELDRESTORE\n");
        EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
        EXPECT_TRUE(PrintedInOrder(run, {"> QELDSETSILENTMODE", "HRESULT 0x00000000, result 0", "> QELDRESTORE",
                                         "HRESULT 0x80004005, result 1  FAILED"}));
        EXPECT_TRUE(LoggedInOrder({quiet ? "Info: Run() QELDSETSILENTMODE TRUE " : "Info: Run() QELDSETSILENTMODE NO ",
                                   "Info: Run() QELDRESTORE"}));
        EXPECT_EQ(Logged(message), quiet);
        EXPECT_EQ(run.out.find("___Shell"), std::string::npos) << "QELDRESTORE never starts the host";
    }
}

TEST_F(CaiclientSessionTest, AClientBelowVersion530RunsNothing) {
    struct Mode {
        const char* why;
        bool jobServer;          // in the workspace
        const wchar_t* options;  // caiclient's
        bool quiet;
    };
    for (const Mode& mode : {Mode{"attended: the message is shown", false, L"", false},
                             Mode{"job server: the message goes to the log", true, L"", true},
                             Mode{"--unattended runs as the job server does", false, L" --unattended", true}}) {
        SCOPED_TRACE(mode.why);
        std::string json = SampleWorkspaceJson(root, mode.jobServer);
        json.replace(json.find("\"clientVersion\": 530"), 20, "\"clientVersion\": 529");
        const CaiclientRun run = RunScript(json, "QELDCHECKAPPLICATION\nNOSUCH\n", mode.options);
        EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
        EXPECT_EQ(run.out.find("___Environment"), std::string::npos) << "the profile was not reported";
        EXPECT_EQ(run.out.find("FAILED"), std::string::npos) << "not even the unknown command was looked at";
        for (const std::string& message : LogMessages()) EXPECT_EQ(message.find("Run()"), std::string::npos) << message;
        EXPECT_EQ(Logged("Message: The client is too old."), mode.quiet);
        EXPECT_EQ(changes, std::vector<std::string>{"new vx17log.err"});
    }
}

TEST_F(CaiclientSessionTest, AMalformedWorkspaceStopsBeforeTheComponent) {
    std::string json = SampleWorkspaceJson(root);
    json.replace(json.find("\"jobServer\""), 1, "");
    const CaiclientRun run = RunScript(json, "QELDCHECKAPPLICATION\n");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("workspace.json:3:"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("> QELDCHECKAPPLICATION"), std::string::npos);
    EXPECT_TRUE(changes.empty()) << "no log, and the workspace as it was";
}

}  // namespace
