// The drawing of a title operation against VectaSim: commands straight to the active
// drawing, the reported save failure, close without saving and the answer to a refused close.
#include "TitleHost.h"
#include "VectaTestSupport.h"
#include "client/CVantorApplication.h"
#include "documents/CTitleBlockDrawing.h"
#include "fakes/CSimProcess.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>
#include <algorithm>

using namespace vecta_test;
using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

constexpr char kEmptyCommand[] = "Document[Bracket.vdr].SendCommand(\"\") = 00000000";

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class TitleBlockDrawingTest : public ComponentTest {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(CSimProcess::RegisterAll(), S_OK); }

    TitleBlockDrawingTest() {
        client.attach(FakeCallback::Create());
        client->answers[L"#(DESCRIPTION)"] = L"Updated";
        client->answers[L"#(MATERIAL)"] = L"Brass";
        EXPECT_EQ(CVantorApplication::Instance().SetCallback(client.get()), S_OK);
        CUtils::Instance().SetLogThreshold(2);
    }
    ~TitleBlockDrawingTest() override { CVantorApplication::Instance().ReleaseCallback(); }

    // VectaSim with the drawing open and the client's callback handed to its PDM add-in.
    void StartWithDrawing(const std::string& control) {
        ASSERT_EQ(title_test::StartTitleHost(sim, UniqueProfile(L"TitleDrawing"), control), S_OK);
        ComPtr<IVectaDocument> document;
        ASSERT_EQ(OpenDrawing(sim.App(), drawing, document), S_OK);
        ComPtr<IVntAddIn> addIn;
        ASSERT_EQ(ConnectAddIn(sim.App(), L"Derudir.VntApplication2.1", client.get(), addIn), S_OK);
    }

    std::wstring drawing = title_test::DrawingPath();
    std::wstring trace = title_test::TracePath();
    ComPtr<FakeCallback> client;
    CSimProcess sim;
};

TEST_F(TitleBlockDrawingTest, CommandsRunOnTheActiveDrawingWhichIsSavedAndClosed) {
    StartWithDrawing("{}");
    CTitleBlockDrawing title(L"UpdateAllTitleblocks");
    ASSERT_EQ(title.Attach(sim.App()), S_OK);
    EXPECT_EQ(title.Send(L"QELDUpdateAllTitleBlocks"), S_OK);
    EXPECT_EQ(title.Send(L"QELDSyncPartData"), S_OK);
    EXPECT_EQ(title.Save(), S_OK);
    title.Close();

    EXPECT_EQ(DocumentCount(sim.App()), 0);
    const std::string text = ReadAll(drawing);
    EXPECT_THAT(text, HasSubstr("TITLE.DESCRIPTION=Updated\n"));
    EXPECT_THAT(text, HasSubstr("PART.MATERIAL=Brass\n"));
    const std::string calls = ReadAll(trace);
    EXPECT_THAT(calls, HasSubstr("Document[Bracket.vdr].SendCommand(\"QELDUpdateAllTitleBlocks \") = 00000000"));
    EXPECT_THAT(calls, HasSubstr("Document[Bracket.vdr].SendCommand(\"QELDSyncPartData \") = 00000000"));
    EXPECT_THAT(calls, HasSubstr("Document[Bracket.vdr].Close(i4:0, missing) = 00000000"));
    const std::vector<std::wstring> messages = LogReader().Messages();
    EXPECT_THAT(messages, Contains(L"Info: SendCommand: Send command QELDUpdateAllTitleBlocks"));
    EXPECT_THAT(messages, Contains(L"Info: SendCommand: Send command QELDSyncPartData"));
}

TEST_F(TitleBlockDrawingTest, RefusedSaveIsReportedAndTheChangesAreNotWritten) {
    StartWithDrawing("{\"saveFails\": true}");
    CTitleBlockDrawing title(L"QELDImportTitleAttributes");
    ASSERT_EQ(title.Attach(sim.App()), S_OK);
    EXPECT_EQ(title.Send(L"QELDUpdateAllTitleBlocks"), S_OK);
    EXPECT_EQ(title.Save(), E_FAIL);
    title.Close();

    EXPECT_EQ(DocumentCount(sim.App()), 0);
    EXPECT_THAT(ReadAll(drawing), HasSubstr("TITLE.DESCRIPTION=Bracket\n"));
    EXPECT_THAT(LogReader().Messages(),
                Contains(L"Error: QELDImportTitleAttributes: Failed to save document (hr = 80004005)"));
}

TEST_F(TitleBlockDrawingTest, RefusedCloseSendsTheEmptyCommandAndIsLoggedOnlyAtClientLevelOne) {
    StartWithDrawing("{\"closeFails\": true}");
    const std::wstring entry = L"Info: UpdateAllTitleblocks: Failed to close document (hr = 80004005)";
    struct Row {
        const wchar_t* level;
        bool logged;
    } rows[] = {{L"0", false}, {L"1", true}, {L"2", false}, {L"01", true}, {L"", false}, {L"1x", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.level)));
        client->answers[L"#(Appl:LogLevel)"] = row.level;
        LogReader::Remove();
        const size_t before = Occurrences(ReadAll(trace), kEmptyCommand);
        CTitleBlockDrawing title(L"UpdateAllTitleblocks");
        ASSERT_EQ(title.Attach(sim.App()), S_OK);
        title.Close();

        EXPECT_EQ(DocumentCount(sim.App()), 1);
        EXPECT_EQ(Occurrences(ReadAll(trace), kEmptyCommand), before + 1);
        const std::vector<std::wstring> messages = LogReader().Messages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), entry), row.logged ? 1 : 0);
    }
}

TEST_F(TitleBlockDrawingTest, HostWithoutDrawingGivesNoDrawing) {
    ASSERT_EQ(sim.Start(UniqueProfile(L"TitleNoDrawing"), L"R17"), S_OK);
    CTitleBlockDrawing title(L"UpdateAllTitleblocks");
    EXPECT_TRUE(FAILED(title.Attach(sim.App())));
    EXPECT_EQ(title.Attach(nullptr), E_POINTER);
}

}  // namespace
