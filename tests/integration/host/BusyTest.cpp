// The busy check after a connection, against a host with a running command.
#include "HostTest.h"
#include "support/CUtils.h"

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class BusyTest : public HostTest {
protected:
    BusyTest() {
        SetAnswer(L"#(Appl:WaitForActiveCommand)", L"100");
        SetAnswer(L"#(Appl:WaitForStartup)", L"800");  // T/2 = 400 ms
        SetMessage(L"VX16010", L"Cancel the running command?");
    }
    // A running host with one drawing open, busy for the time when given.
    void StartWithDrawing(long busyMs) {
        StartSim();
        OpenDrawing(L"busy.vdr", document);
        if (busyMs > 0) {
            UniqueBstr command(L"VSIMBUSY " + std::to_wstring(busyMs) + L" ");
            ASSERT_EQ(document->SendCommand(command.get()), S_OK);
        }
    }
    bool HostIdle() const {
        ComPtr<IVectaState> state;
        VARIANT_BOOL idle = VARIANT_FALSE;
        return SUCCEEDED(sims[0]->App()->get_State(state.put())) && SUCCEEDED(state->get_IsIdle(&idle)) &&
               idle == VARIANT_TRUE;
    }
    HRESULT Connect(DWORD& took) {
        LendClient();
        const DWORD begin = GetTickCount();
        const HRESULT hr = HostTest::Connect(0, 0, 1);
        took = GetTickCount() - begin;
        return hr;
    }

    ComPtr<IVectaDocument> document;
};

TEST_F(BusyTest, HostWithoutDrawingIsNotBusyAndItsStateIsNotAsked) {
    StartSim(L"/busy 10000");
    DWORD took = 0;
    EXPECT_EQ(Connect(took), S_OK);
    EXPECT_LT(took, 300u);
    EXPECT_FALSE(TraceHas("Application.State"));
    EXPECT_TRUE(shown.empty());
}

TEST_F(BusyTest, IdleHostIsNotWaitedFor) {
    StartWithDrawing(0);
    DWORD took = 0;
    EXPECT_EQ(Connect(took), S_OK);
    EXPECT_LT(took, 100u);
    EXPECT_TRUE(TraceHas("State.IsIdle()"));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"IsBusy"))));
}

TEST_F(BusyTest, CommandEndingWithinHalfTheStartupWaitAsksNothing) {
    StartWithDrawing(250);
    DWORD took = 0;
    EXPECT_EQ(Connect(took), S_OK);
    EXPECT_LT(took, 400u);
    EXPECT_TRUE(shown.empty());
    EXPECT_THAT(Messages(), Contains(L"Info: IsBusy: Vecta is busy. Wait for 100 milliseconds"));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"Ask user"))));
}

TEST_F(BusyTest, LongCommandIsCancelledOnYesOrInQuietMode) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "Yes answer");
        LogReader::Remove();
        shown.clear();
        sims.clear();
        DeleteFileW(tracePath.c_str());
        StartWithDrawing(20000);
        CUtils::Instance().SetQuiet(quiet);
        boxAnswer = IDYES;
        DWORD took = 0;
        EXPECT_EQ(Connect(took), S_OK);
        EXPECT_GE(took, 400u);
        EXPECT_LT(took, 1500u);
        EXPECT_EQ(shown.size(), quiet ? 0u : 1u);
        if (!shown.empty()) {
            EXPECT_EQ(shown[0].text, L"Cancel the running command?");
            EXPECT_EQ(shown[0].style & 0xFF, 0x24u);
        }
        // Polled until T / 2 = 400 ms have been waited: four polls of 100 ms, not five.
        EXPECT_THAT(Messages(), Contains(L"Info: IsBusy: Vecta is busy. Wait for 100 milliseconds").Times(4));
        EXPECT_TRUE(TraceHas("Window.Cancel()"));
        EXPECT_TRUE(HostIdle());
        EXPECT_THAT(Messages(), Contains(L"Info: IsBusy: Vecta is still busy. Ask user to cancel active command."));
        EXPECT_THAT(Messages(), Contains(L"Info: IsBusy: Cancelled active command."));
        document.reset();
        Host().Attach(nullptr);
    }
}

TEST_F(BusyTest, NoAnswerFailsAndLeavesTheCommandRunning) {
    StartWithDrawing(20000);
    boxAnswer = IDNO;
    DWORD took = 0;
    EXPECT_EQ(Connect(took), E_FAIL);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(TraceHas("Window.Cancel()"));
    EXPECT_FALSE(HostIdle());
    EXPECT_THAT(Messages(), Contains(L"Info: IsBusy: Not cancelled active command"));
}

}  // namespace
