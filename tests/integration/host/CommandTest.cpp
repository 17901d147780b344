// COMMAND, QELDQUIT, QELDRESTORE and QELDISAVAILABLEFORPUBLISHPSX through Run.
#include "HostTest.h"
#include "support/CUtils.h"

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

TEST_F(CommandTest, HostOfAnotherProfileDoesNotCountAndASecondIsStarted) {
    const std::wstring otherProfile = profile + L"-other";
    StartSim(L"", otherProfile);
    LendClient();
    EXPECT_EQ(Call().ConnectApplication(0, 0, 0), E_FAIL);
    EXPECT_EQ(Call().ConnectApplication(1, 0, 0), S_OK);
    EXPECT_EQ(launcher.Started(), 1u);
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    EXPECT_FALSE(sims[0]->WaitForExit(0));
}

}  // namespace
