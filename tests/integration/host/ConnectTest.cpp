#include "HostTest.h"
#include "support/CUtils.h"

using ::testing::Contains;
using ::testing::Not;

namespace {

class ConnectTest : public HostTest {};

long DocumentCount(IVectaApplication* app) {
    ComPtr<IVectaDocuments> documents;
    long count = -1;
    if (app && SUCCEEDED(app->get_Documents(documents.put()))) (void)documents->get_Count(&count);
    return count;
}

TEST_F(ConnectTest, RunningHostIsFoundInTheFirstPassWithoutStarting) {
    StartSim(L"/startup 1");
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Call().ConnectApplication(1, 0, 1), S_OK);
    EXPECT_LT(GetTickCount() - begin, 900u);  // no search pass slept
    ASSERT_NE(Call().Application(), nullptr);
    EXPECT_EQ(ShellCalls(), 0u);
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    EXPECT_THAT(Messages(), Contains(L"Info: Correct Vecta application with profile '" + profile + L"' found."));
    EXPECT_THAT(Messages(), Not(Contains(L"Info: Start of Vecta")));
    // Not started by this connection: its start-up drawing stays, the options stay alone.
    EXPECT_EQ(DocumentCount(Call().Application()), 1);
    EXPECT_THAT(Messages(), Not(Contains(::testing::HasSubstr(L"CloseStartUpDrawings"))));
    EXPECT_THAT(client->Prepared(), Not(Contains(L"$(WSPATH:/+)")));
    // The session is still set up when starting was allowed.
    EXPECT_THAT(Messages(), Contains(L"Error: InitApplication: Fennory Professional menu file 'vantor.mns' not found."));
}

TEST_F(ConnectTest, MissingHostIsStartedThroughTheClientAndFound) {
    SetOpenArgument(L"/startup 2");
    const std::wstring options = folder.File(L"source.xml");
    TempFolder::WriteBytes(options, "<options/>");
    client->answers[L"$(WSPATH:/+)"] = folder.Path() + L"/";
    client->answers[L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml"] = options;
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Call().ConnectApplication(1, 0, 1), S_OK);
    const DWORD took = GetTickCount() - begin;
    ASSERT_NE(Call().Application(), nullptr);
    EXPECT_EQ(ShellCalls(), 1u);
    EXPECT_EQ(launcher.Started(), 1u);
    EXPECT_GE(took, 1000u);  // found in a later pass
    EXPECT_LT(took, 6000u);
    EXPECT_THAT(Messages(), Contains(L"Info: Start of Vecta"));
    EXPECT_THAT(client->Calls(),
                Contains(FakeCallback::Record{L"Call", L"___Shell",
                                              L"Shellexecute(open '" + CSimProcess::SimPath() + L"' '" +
                                                  *client->answers[L"#(Appl:OpenArgument)"] + L"' '$(WSPATH:|-)' )"}));
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    // Both start-up drawings closed, the publishing options refreshed.
    EXPECT_EQ(DocumentCount(Call().Application()), 0);
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing1.dwg'"));
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing2.dwg'"));
    EXPECT_EQ(TempFolder::ReadBytes(folder.File(L"Publish Options.xml")), "<options/>");
}

TEST_F(ConnectTest, WithoutStartFlagAMissingHostGivesOneMessageAndNoWait) {
    client->messages[L"VX16006"] = L"Vecta is not running";
    client->answers[L"Vecta is not running"] = L"Vecta is not running";
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Call().ConnectApplication(0, 0, 1), E_FAIL);
    EXPECT_LT(GetTickCount() - begin, 900u);
    EXPECT_EQ(ShellCalls(), 0u);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Vecta is not running");
    EXPECT_EQ(shown[0].style & 0xFF, 0x30u);
    EXPECT_THAT(Messages(), Contains(L"Info: Vecta with the required profile '" + profile + L"' is not available"));
}

TEST_F(ConnectTest, CommandsRunEndToEndThroughRun) {
    StartSim();
    ComPtr<IVectaDocument> document;
    OpenDrawing(L"managed.vdr", document);
    client->environment[L"VX16_LASTPROFILE"] = profile;
    client->answers[L"@(QELKEYfromPath \"" + folder.Path() + L"\\managed.vdr\")"] = L"Q-1";

    LONG result = -1;
    EXPECT_EQ(Run({L"QELDRESTORE", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_NE(Call().Application(), nullptr);

    EXPECT_EQ(Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(TraceHas("Command.Run(\"QELDSHOWTITLE Q-1\")"));

    // A drawing is open: the host stays.
    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_THAT(Messages(), Contains(L"Info: QuitVecta: Don't quit Vecta, because there is still an active document"));
    EXPECT_FALSE(sims[0]->WaitForExit(0));

    ASSERT_EQ(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()), S_OK);
    document.reset();
    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    sims[0]->ReleaseApp();
    EXPECT_TRUE(sims[0]->WaitForExit(5000));

    // The object keeps the dead host's reference and reports its failure.
    const HRESULT hr = Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(result, 1);
    EXPECT_THAT(Messages(), Contains(L"Error: SendCommand: Can't send command. There is no active document"));
}

}  // namespace
