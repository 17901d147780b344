// COMMAND, QELDQUIT, QELDRESTORE and QELDISAVAILABLEFORPUBLISHPSX through Run.
#include "HostTest.h"
#include "support/CUtils.h"
#include <ctime>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class CommandTest : public HostTest {
protected:
    // A running host with one drawing of the work folder open.
    void StartWithDrawing() {
        StartSim();
        drawing = folder.File(L"cmd.vdr");
        OpenDrawing(L"cmd.vdr", document);
        client->environment[L"VX16_LASTPROFILE"] = profile;
    }
    std::wstring KeyQuery() const { return L"@(QELKEYfromPath \"" + drawing + L"\")"; }

    std::wstring drawing;
    ComPtr<IVectaDocument> document;
};

TEST_F(CommandTest, UnmanagedDrawingGetsAMessageAndNothingIsSent) {
    StartWithDrawing();
    SetAnswer(KeyQuery(), L"");
    client->messages[L"VX16014"] = L"Not a Fennory drawing";
    LONG result = -1;
    EXPECT_EQ(Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Not a Fennory drawing");
    EXPECT_EQ(shown[0].style & 0xFF, 0u);
    EXPECT_FALSE(TraceHas("SendCommand"));
}

TEST_F(CommandTest, JobServerSkipsTheManagedCheck) {
    StartWithDrawing();
    SetAnswer(KeyQuery(), L"");
    SetAnswer(L"#(=isJobServer())", L"TRUE");
    LONG result = -1;
    EXPECT_EQ(Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result), S_OK);
    EXPECT_TRUE(shown.empty());
    EXPECT_THAT(client->Prepared(), Not(Contains(KeyQuery())));
    EXPECT_TRUE(TraceHas("Command.Run(\"QELDSHOWTITLE Q-1\")"));
}

TEST_F(CommandTest, CommandWithoutHostFailsWithoutStartingOne) {
    client->environment[L"VX16_LASTPROFILE"] = profile;
    LONG result = -1;
    EXPECT_EQ(Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result), E_FAIL);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ShellCalls(), 0u);
    EXPECT_EQ(Run({L"QELDRESTORE", L""}, result), E_FAIL);
    EXPECT_EQ(result, 1);
}

TEST_F(CommandTest, QuitWithoutDrawingEndsTheHost) {
    StartSim();
    client->environment[L"VX16_LASTPROFILE"] = profile;
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    sims[0]->ReleaseApp();
    EXPECT_TRUE(sims[0]->WaitForExit(5000));
}

TEST_F(CommandTest, AvailabilityForPublishing) {
    LONG result = -1;
    // No host: free, and nothing started.
    EXPECT_EQ(Run({L"QELDISAVAILABLEFORPUBLISHPSX", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ShellCalls(), 0u);
    EXPECT_TRUE(shown.empty());  // the missing-host message went to the log
    EXPECT_FALSE(CUtils::Instance().IsQuiet());

    StartWithDrawing();
    EXPECT_EQ(Run({L"QELDISAVAILABLEFORPUBLISHPSX", L""}, result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_THAT(Messages(), Contains(L"Error: IsAvailableForPublishPSX: Application is already running and a document is "
                                     L"opened. Don't create PSX file"));
    EXPECT_FALSE(CUtils::Instance().IsQuiet());

    ASSERT_EQ(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()), S_OK);
    CUtils::Instance().SetQuiet(true);
    EXPECT_EQ(Run({L"QELDISAVAILABLEFORPUBLISHPSX", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(CUtils::Instance().IsQuiet());
}

// Every search without a valid job deadline has its cancel thread, also one that finds the
// host at once and one that never starts a host; under a valid deadline none.
TEST_F(CommandTest, EverySearchWithoutAValidDeadlineHasItsCancelThread) {
    StartWithDrawing();  // a drawing stays open, so QELDQUIT leaves the host running
    SetAnswer(KeyQuery(), L"Q-1");
    struct Row {
        std::vector<std::wstring> items;
        bool hostMissing;  // the client's last profile names no running host
        bool deadline;     // a valid job deadline an hour ahead
        HRESULT hr;
    };
    const Row rows[] = {
        {{L"QELDRESTORE", L""}, false, false, S_OK},
        {{L"QELDRESTORE", L""}, false, true, S_OK},
        {{L"QELDRESTORE", L""}, true, false, E_FAIL},
        {{L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, false, false, S_OK},
        {{L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, true, true, E_FAIL},
        {{L"QELDQUIT", L""}, false, false, S_OK},
        {{L"QELDISAVAILABLEFORPUBLISHPSX", L""}, false, false, S_OK},
        {{L"QELDISAVAILABLEFORPUBLISHPSX", L""}, true, false, S_OK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::string(row.items[0].begin(), row.items[0].end())
                                          << (row.hostMissing ? " without host" : "") << (row.deadline ? " deadline" : ""));
        LogReader::Remove();
        Host().Attach(nullptr);  // as a new object: the command searches
        client->environment[L"VX16_LASTPROFILE"] = row.hostMissing ? profile + L"-absent" : profile;
        SetAnswer(L"$(JobServerJobTimeout_time_t)", row.deadline ? std::to_wstring(_time64(nullptr) + 3600) : L"");
        LONG result = -1;
        EXPECT_EQ(Run(row.items, result), row.hr);
        ASSERT_TRUE(WaitForComponentThreads(5000));  // the thread may end after the command
        const size_t threads = row.deadline ? 0 : 1;
        EXPECT_EQ(Count(L"Info: CancelThread: Enter"), threads);
        EXPECT_EQ(Count(L"Info: CancelThread: Exit"), threads);
    }
    EXPECT_EQ(ShellCalls(), 0u);
}

// What a host that fails, refuses or dies does to a command: its result, the log entry that
// says why, and the fault as the host recorded it; never a wait past the limits.
TEST_F(CommandTest, HostFaultsGiveTheFailureAndItsLogEntry) {
    SetAnswer(L"#(Appl:WaitForStartup)", L"800");  // a busy host is waited for 400 ms
    SetMessage(L"VX16010", L"Cancel the running command?");
    const std::wstring menu = folder.File(L"vantor.mns");
    TempFolder::WriteBytes(menu, "***MENUGROUP=Fennory\n***POP1\n[&Fennory]\n");
    SetAnswer(L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\" :|)", menu);
    const std::wstring templatePath = folder.File(L"a3.dwt");
    TempFolder::WriteBytes(templatePath, "VECTA DRAWING 1\n");
    SetAnswer(L"#(DTY:QNewTemplate)", templatePath);
    // A list whose reference carries an old key, so that a writable drawing would be rewritten.
    const std::wstring list = folder.File(L"list.vdr");
    const std::string listText = "VECTA DRAWING 1\nKEY=Q-1\nREF=Q-2001\n";
    SetAnswer(L"#(DTY:CONTAINERKEY)", L"Q-1");
    SetAnswer(L"@(where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(OLD_DOC_QELKEY))", L"Q-0");
    SetAnswer(L"@(QELKEYfromPath \"" + list + L"\")", L"Q-1");
    client->commands[L"___ForAllRela"] = [](FakeCallback& self, const std::wstring&) {
        self.environment[L"QelKeyPairList"] = L"Q-2001 Q-2002|";
        return 0L;
    };
    const std::wstring control = folder.File(L"faults.json");
    const std::wstring command = L"QELDSHOWTITLE Q-1 ";
    const std::wstring kSent = L"SendCommand(\"QELDSHOWTITLE";

    struct Row {
        const char* control;
        bool drawing;  // one drawing open, made busy when the row's control refuses calls
        int answer;    // to the cancel question
        std::vector<std::wstring> items;
        HRESULT hr;
        LONG result;
        std::wstring entry;
        const char* trace;   // the fault in the host's trace
        std::wstring absent;  // neither in the log nor in the trace
    };
    const Row rows[] = {
        {R"({"fails": {"Application.State": "0x80004005"}})", true, IDYES, {L"COMMAND", command, L""}, E_FAIL, 1,
         L"Error: IsBusy: Can't get Vecta state (hr = 80004005)", "Application.State() = 80004005", kSent},
        {R"({"fails": {"State.IsIdle": "0x80004005"}})", true, IDNO, {L"COMMAND", command, L""}, E_FAIL, 1,
         L"Info: IsBusy: Not cancelled active command", "State.IsIdle() = 80004005", kSent},
        // Yes to cancelling, but the window to send the cancel to is unknown: nothing was cancelled.
        {R"({"fails": {"State.IsIdle": "0x80004005"}, "hwndFails": true})", true, IDYES, {L"COMMAND", command, L""},
         E_FAIL, 1, L"Error: IsBusy: Can't read Vecta's main window (hr = 80004005)", "HWND() = 80004005",
         L"Info: IsBusy: Cancelled active command."},
        {R"({"fails": {"Application.Documents": "0x80004005"}})", false, IDYES, {L"QELDISAVAILABLEFORPUBLISHPSX", L""},
         S_OK, 1, L"Error: IsAvailableForPublishPSX: Application is already running and a document is opened. Don't create PSX file",
         "Application.Documents() = 80004005", L""},
        {R"({"fails": {"Documents.Count": "0x80004005"}})", false, IDYES, {L"QELDISAVAILABLEFORPUBLISHPSX", L""}, S_OK, 1,
         L"Error: IsAvailableForPublishPSX: Application is already running and a document is opened. Don't create PSX file",
         "Documents.Count() = 80004005", L""},
        {R"({"fails": {"Application.MenuGroups": "0x80004005"}})", false, IDYES, {L"QELDOPEN", list, L""}, S_OK, 0,
         L"Info: InitApplication: get_MenuGroups failed (hr = 80004005)", "Application.MenuGroups() = 80004005", L""},
        // The menu is loaded but not shown; the command goes on.
        {R"({"fails": {"Application.MenuBar": "0x80004005"}})", false, IDYES, {L"QELDOPEN", list, L""}, S_OK, 0,
         L"Info: UpdateDLQelkeys: Update QELKEYs for DLs ...", "Application.MenuBar() = 80004005", L"InsertInMenuBar"},
        {R"({"fails": {"MenuBar.Count": "0x80004005"}})", false, IDYES, {L"QELDOPEN", list, L""}, S_OK, 0,
         L"Info: UpdateDLQelkeys: Update QELKEYs for DLs ...", "MenuBar.Count() = 80004005", L"InsertInMenuBar"},
        // A failed read-only query counts as read-only, although the flag came back "writable".
        {R"({"fails": {"Document.ReadOnly": "0x80004005"}})", false, IDYES, {L"QELDOPEN", list, L""}, E_FAIL, 1,
         L"Info: UpdateDLQelkeys: Don't update QELKEYs for DLs because document is opened read-only.",
         "ReadOnly() = 80004005", L"QELDChangeTitleKey"},
        {R"({"addReturnsNothing": true})", false, IDYES, {L"QELDNEW", folder.File(L"new.vdr"), L""}, E_FAIL, 1,
         L"Error: NewDocument: Failed to add document (hr = 80004005)", "Documents.Add(", L"SaveAs"},
        {R"({"rejectWhileBusy": true})", true, IDYES, {L"COMMAND", command, L""}, RPC_E_CALL_REJECTED, 1,
         L"Error: SendCommand: Can't send command. There is no active document", "Application.Reject() = 80010001",
         kSent},
        {R"({"rejectWhileBusy": true})", true, IDYES, {L"QELDOPEN", list, L""}, RPC_E_CALL_REJECTED, 1,
         L"Error: OpenDocument: IVectaApplication->get_Documents() failed (hr = 80010001)",
         "Application.Reject() = 80010001", L"Documents.Open(\"" + list},
        {R"({"rejectWhileBusy": true})", true, IDYES, {L"QELDQUIT", L""}, RPC_E_CALL_REJECTED, 1,
         L"Error: QuitVecta: Failed to quit Vecta (hr = 80010001)", "Application.Reject() = 80010001",
         L"Application.Quit("},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        LogReader::Remove();
        sims.clear();
        DeleteFileW(tracePath.c_str());
        TempFolder::WriteBytes(list, listText);
        TempFolder::WriteBytes(control, row.control);
        boxAnswer = row.answer;
        Host().Attach(nullptr);
        StartSim(L"/control \"" + control + L"\"");
        client->environment[L"VX16_LASTPROFILE"] = profile;
        if (row.drawing) {
            OpenDrawing(L"cmd.vdr", document);
            drawing = folder.File(L"cmd.vdr");
            SetAnswer(KeyQuery(), L"Q-1");
            UniqueBstr busy(L"VSIMBUSY 20000 ");
            ASSERT_EQ(document->SendCommand(busy.get()), S_OK);
        }
        LONG result = -1;
        const DWORD begin = GetTickCount();
        EXPECT_EQ(Run(row.items, result), row.hr);
        EXPECT_LT(GetTickCount() - begin, 5000u);
        EXPECT_EQ(result, row.result);
        EXPECT_THAT(Messages(), Contains(row.entry));
        EXPECT_TRUE(TraceHas(row.trace)) << Trace();
        if (!row.absent.empty()) {
            EXPECT_THAT(Messages(), Not(Contains(HasSubstr(row.absent))));
            EXPECT_FALSE(TraceHas(std::string(row.absent.begin(), row.absent.end())));
        }
        document.reset();
        TempFolder::WriteBytes(control, "{}");  // lets the host take its Quit
    }
}

// A host that ends in the middle of a call: the command fails with its entry, QELDQUIT says
// why it failed, and the next command starts a new host.
TEST_F(CommandTest, HostEndingInACallIsReplacedByTheNextCommand) {
    const std::wstring control = folder.File(L"exit.json");
    TempFolder::WriteBytes(control, R"({"exitIn": "Document.SendCommand"})");
    StartSim(L"/control \"" + control + L"\"");
    drawing = folder.File(L"cmd.vdr");
    OpenDrawing(L"cmd.vdr", document);
    client->environment[L"VX16_LASTPROFILE"] = profile;
    SetAnswer(KeyQuery(), L"Q-1");
    LONG result = -1;
    const HRESULT died = Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result);
    EXPECT_TRUE(died == RPC_E_SERVER_DIED || died == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
                died == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED))
        << std::hex << died;
    EXPECT_EQ(result, 1);
    wchar_t entry[80];
    swprintf(entry, 80, L"Error: SendCommand: Failed to send command (hr = %lX)", static_cast<unsigned long>(died));
    EXPECT_THAT(Messages(), Contains(std::wstring(entry)));
    EXPECT_TRUE(sims[0]->WaitForExit(5000));
    document.reset();
    sims[0]->ReleaseApp();

    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(result, 1);
    EXPECT_THAT(Messages(), Contains(L"Error: QuitVecta: Failed to quit Vecta (hr = 800706BA)"));

    const std::wstring other = folder.File(L"other.vdr");
    TempFolder::WriteBytes(other, "VECTA DRAWING 1\nKEY=Q-2\n");
    EXPECT_EQ(Run({L"QELDOPEN", other, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(launcher.Started(), 1u);
}

TEST_F(CommandTest, HostOfAnotherProfileDoesNotCountAndASecondIsStarted) {
    const std::wstring otherProfile = profile + L"-other";
    StartSim(L"", otherProfile);
    LendClient();
    EXPECT_EQ(Connect(0, 0, 0), E_FAIL);
    EXPECT_EQ(Connect(1, 0, 0), S_OK);
    EXPECT_EQ(launcher.Started(), 1u);
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    EXPECT_FALSE(sims[0]->WaitForExit(0));
}

}  // namespace
