// The search's ways to end without a host: the user's answers, quiet mode, the job deadline.
#include "HostTest.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueHandle.h"
#include "fakes/LogReader.h"
#include <ctime>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr wchar_t kExit[] = L"Info: CancelThread: Exit";

class SearchTest : public HostTest {
protected:
    SearchTest() {
        SetMessage(L"VX16007", L"Vecta has not started yet.");
        SetMessage(L"VX16008", L"Vecta has still not started.");
        client->messages[L"VX16011"] = L"Go on waiting?";
        client->messages[L"VX16003"] = L"Fennory";
        client->answers[L"Fennory"] = L"Fennory";
    }
    void SetDeadline(std::int64_t seconds) { SetAnswer(L"$(JobServerJobTimeout_time_t)", std::to_wstring(seconds)); }
    // A search with the start flag for a host that never appears; its time, thread ended.
    DWORD SearchInVain(const wchar_t* startupWait) {
        ShellStartsNothing();
        SetAnswer(L"#(Appl:WaitForStartup)", startupWait);
        LendClient();
        const DWORD begin = GetTickCount();
        EXPECT_TRUE(FAILED(Connect(1, 0, 1)));
        const DWORD took = GetTickCount() - begin;
        EXPECT_TRUE(WaitForEntry(kExit, 2000));
        EXPECT_EQ(ShellCalls(), 1u);
        return took;
    }
};

TEST_F(SearchTest, NoAnswerEndsTheSearchWithinASecond) {
    boxAnswer = IDNO;
    const DWORD took = SearchInVain(L"300");
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 1300u);
    ASSERT_EQ(shown.size(), 1u);
    // Texts fetched from the client on the thread, through its own marshalled callback.
    EXPECT_EQ(shown[0].text, L"Vecta has not started yet.\nGo on waiting?");
    EXPECT_EQ(shown[0].caption, L"Fennory");
    EXPECT_EQ(shown[0].style & 0xFF, 0x24u);
    EXPECT_THAT(Messages(), Contains(L"Info: CancelThread: Wait for Vecta with the profile '" + profile + L"' to be available"));
    EXPECT_THAT(Messages(), Contains(L"Info: CancelThread: User has cancelled the operation!"));
    EXPECT_EQ(Host().Application().get(), nullptr);
}

// A search that ends by an exception still stops its thread: no question ever comes. Here
// the launched host is found and refreshing the options file raises.
TEST_F(SearchTest, ASearchEndedByAnErrorStopsItsThread) {
    boxAnswer = IDYES;
    SetAnswer(L"#(Appl:WaitForStartup)", L"3000");
    client->throwing.insert(L"$(WSPATH:/+)");
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 1), E_OUTOFMEMORY);
    ASSERT_LT(GetTickCount() - begin, 2500u) << "the host came too late for this test";
    EXPECT_TRUE(WaitForEntry(kExit, 1000));
    Sleep(3500 - (GetTickCount() - begin));  // past the start-up wait
    EXPECT_TRUE(shown.empty());
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"CancelThread: Wait for"))));
    ComPtr<IVectaApplication> host;
    ASSERT_EQ(CSimProcess::Bind(L"QELDVecta17Instance", profile, host.put()), S_OK);
    (void)host->Quit();
}

TEST_F(SearchTest, QuietModeGivesUpAfterSixStartupWaits) {
    CUtils::Instance().SetQuiet(true);
    const DWORD took = SearchInVain(L"200");
    EXPECT_GE(took, 1200u);
    EXPECT_LT(took, 3500u);
    EXPECT_TRUE(shown.empty());
    const std::wstring waiting = L"CancelThread: Wait for Vecta with the profile '" + profile + L"' to be available";
    EXPECT_EQ(Count(L"Info: " + waiting), 1u);
    EXPECT_EQ(Count(L"Error: " + waiting), 5u);
    EXPECT_THAT(Messages(), Contains(L"Error: CancelThread: Operation has been cancelled after 5 tries!"));
    // Each question as asked: its two lines (the second after a tab), then the answer.
    EXPECT_EQ(Count(L"Message: Vecta has not started yet.\r\n\tGo on waiting?: 6"), 1u);
    EXPECT_EQ(Count(L"Message: Vecta has still not started.\r\n\tGo on waiting?: 6"), 5u);
}

// The question box of the next test: it starts the host, then stays open until the test
// has seen the search end.
HANDLE g_answer = nullptr;
CShellLauncher* g_lateLauncher = nullptr;
std::wstring g_lateCommand;
int HostAppearsWhileAsking(const std::wstring&, const std::wstring&, UINT) {
    g_lateLauncher->Launch(g_lateCommand);
    WaitForSingleObject(g_answer, 10000);
    return IDNO;
}

TEST_F(SearchTest, HostFoundWhileAQuestionIsOpenEndsTheSearchAtOnce) {
    ShellStartsNothing();
    SetAnswer(L"#(Appl:WaitForStartup)", L"200");
    UniqueHandle answer(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CShellLauncher late;
    g_answer = answer.get();
    g_lateLauncher = &late;
    g_lateCommand = L"Shellexecute(open '" + CSimProcess::SimPath() + L"' '" + *client->answers[L"#(Appl:OpenArgument)"] +
                    L"' '$(WSPATH:|-)' )";
    auto previous = CUtils::SetMessageBoxFunction(HostAppearsWhileAsking);
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 0), S_OK);
    const DWORD took = GetTickCount() - begin;
    EXPECT_LT(took, 2500u);  // the pass after the launch, not after the answer
    EXPECT_NE(Host().Application().get(), nullptr);
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"User has cancelled"))));
    SetEvent(answer.get());
    EXPECT_TRUE(WaitForEntry(kExit, 5000));
    EXPECT_THAT(Messages(), Contains(L"Info: CancelThread: User has cancelled the operation!"));
    CUtils::SetMessageBoxFunction(previous);
    (void)Host().Application().get()->Quit();
    EXPECT_TRUE(late.WaitForAll(5000));
}

// Waits for a fresh second, so that "now" is the same second for the test and the search.
std::int64_t StartOfSecond() {
    const std::int64_t now = _time64(nullptr);
    while (_time64(nullptr) == now) Sleep(5);
    return _time64(nullptr);
}

TEST_F(SearchTest, DeadlineOfTheCurrentSecondIsAcceptedAndReachedInTheFirstPass) {
    ShellStartsNothing();
    SetDeadline(StartOfSecond());
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 1), HR_TIMEOUT);
    EXPECT_LT(GetTickCount() - begin, 800u);
    EXPECT_EQ(ShellCalls(), 1u);
    EXPECT_THAT(Messages(), Contains(HasSubstr(L"Info: Use JobServer deadline for this job: ")));
    EXPECT_THAT(Messages(), Contains(::testing::AllOf(HasSubstr(L"Error: Deadline ("), HasSubstr(L") for this job has exceeded"))));
    EXPECT_THAT(Messages(), Contains(L"Error: Don't wait for application any longer."));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"CancelThread"))));
}

TEST_F(SearchTest, PastDeadlineIsIgnoredAndTheUserMayCancelAgain) {
    SetDeadline(_time64(nullptr) - 3600);
    boxAnswer = IDNO;
    (void)SearchInVain(L"200");
    EXPECT_THAT(Messages(), Contains(HasSubstr(L"Error: Ignore JobServer deadline, because it is not valid: ")));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"Use JobServer deadline"))));
    EXPECT_THAT(Messages(), Contains(L"Info: CancelThread: User has cancelled the operation!"));
}

TEST_F(SearchTest, WithAValidDeadlineNoQuestionIsEverAsked) {
    ShellStartsNothing();
    SetAnswer(L"#(Appl:WaitForStartup)", L"100");
    SetDeadline(StartOfSecond() + 2);
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 1), HR_TIMEOUT);
    const DWORD took = GetTickCount() - begin;
    EXPECT_GE(took, 1900u);
    EXPECT_LT(took, 3500u);
    EXPECT_TRUE(shown.empty());
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"CancelThread"))));
    EXPECT_EQ(ShellCalls(), 1u);
}

}  // namespace
