// QELDUPDATETITLEBLOCKS and QELDIMPORTTITLEATTRIBUTES through Run with a fake PDM client,
// against VectaSim found under its profile: the drawing is opened, the add-in commands
// run, the drawing is saved and closed.
#include "TitleHost.h"
#include "VectaTestSupport.h"
#include "component/CCAI_Call.h"
#include "fakes/ArgumentArray.h"
#include "fakes/CSimProcess.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/UniqueVariant.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <optional>

using namespace vecta_test;
using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

constexpr char kSend[] = "Document[Bracket.vdr].SendCommand(";

class TitleBlockCommandsTest : public ComponentTest {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(CSimProcess::RegisterAll(), S_OK); }

    TitleBlockCommandsTest() {
        client.attach(FakeCallback::Create());
        client->environment[L"_VNTXVER"] = L"530";
        client->answers = {
            {L"#(Appl:LogLevel)", L"1"},
            {L"#(Appl:Profile)", profile},
            {L"#(Appl:VectaVersion)", L"R17.1"},
            {L"#(QELKEY)", L"Q-1001"},
            {L"@(Where \"db=Folder_All_Document\" \"QELKEY=Q-1001\" #(=crdynamic(\"W\")))", L"TRUE"},
            {L"#(FindFile \"qeldtitleimport.ini\" \"#(Appl:SearchPath)\")", InWorkFolder(L"qeldtitleimport.ini")},
            {L"#(DESCRIPTION)", L"Updated"},
            {L"#(MATERIAL)", L"Brass"},
        };
        WriteAll(InWorkFolder(L"qeldtitleimport.ini"), "[Title]\r\nDESCRIPTION=#(DESCRIPTION)\r\n");
        EXPECT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void()), S_OK);
    }

    // A fresh host per call; the one before is quit first.
    void StartHost(const std::string& control) {
        sim.reset();
        ASSERT_EQ(title_test::StartTitleHost(sim.emplace(), profile, control), S_OK);
    }

    HRESULT Run(const std::wstring& command, LONG& result) {
        LogReader::Remove();
        UniqueVariant args = ArgumentArray({command, drawing, L""});
        UniqueVariant out;
        const HRESULT hr = object->Run(client.get(), args.get(), out.put());
        result = V_I4(&out.get());
        return hr;
    }

    std::string Calls() const { return ReadAll(trace); }

    std::wstring profile = UniqueProfile(L"TitleCommands");
    std::wstring drawing = title_test::DrawingPath();
    std::wstring trace = title_test::TracePath();
    ComPtr<FakeCallback> client;
    std::optional<CSimProcess> sim;
    ComPtr<ICAI_Call> object;
};

TEST_F(TitleBlockCommandsTest, UpdateSyncsPartDataOnlyForTheLowerCaseBomAddIn) {
    struct Row {
        const wchar_t* addIns;
        bool partData;
    } rows[] = {
        {L"qeldtools.zep, qeldmxbom17.zep ,other.zep", true},
        {L"xqeldmxbom17.zepx", true},
        {L"QELDMXBOM17.ZEP", false},
        {L"qeldtools.zep", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.addIns)));
        StartHost("{}");
        client->answers[L"#(Appl:AddIns)"] = row.addIns;
        LONG result = -1;
        const HRESULT hr = Run(L"QELDUPDATETITLEBLOCKS", result);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(DocumentCount(sim->App()), 0);
        const std::string text = ReadAll(drawing);
        EXPECT_THAT(text, HasSubstr("TITLE.DESCRIPTION=Updated\n"));
        EXPECT_THAT(text, HasSubstr(row.partData ? "PART.MATERIAL=Brass\n" : "PART.MATERIAL=Steel\n"));
        EXPECT_EQ(Calls().find(std::string(kSend) + "\"QELDSyncPartData \")") != std::string::npos, row.partData);
        EXPECT_THAT(LogReader().Messages(), Contains(L"Info: UpdateAllTitleblocks: Save document"));
    }
}

TEST_F(TitleBlockCommandsTest, UpdateReportsARefusedSaveAndStillClosesTheDrawing) {
    StartHost("{\"saveFails\": true}");
    LONG result = -1;
    const HRESULT hr = Run(L"QELDUPDATETITLEBLOCKS", result);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(DocumentCount(sim->App()), 0);
    EXPECT_THAT(ReadAll(drawing), HasSubstr("TITLE.DESCRIPTION=Bracket\n"));
    EXPECT_THAT(LogReader().Messages(), Contains(L"Error: UpdateAllTitleblocks: Failed to save document (hr = 80004005)"));
}

TEST_F(TitleBlockCommandsTest, ImportOutcomeComesFromTheAddIn) {
    struct Row {
        const char* control;
        LONG outcome;
        const char* description;  // the drawing afterwards
    } rows[] = {
        {"{}", 0, "Updated"},
        {"{\"importOutcome\": \"7\"}", 7, "Bracket"},
        {"{\"importOutcome\": \"\"}", 0, "Bracket"},
        // A save the add-in cannot know about: the client must not read it as imported.
        {"{\"saveFails\": true}", static_cast<LONG>(E_FAIL), "Bracket"},
        {"{\"saveFails\": true, \"importOutcome\": \"7\"}", 7, "Bracket"},
        // The open fails before anything is imported.
        {"{\"openFails\": \"0x80004005\"}", -1, "Bracket"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control);
        StartHost(row.control);
        LONG result = 0;
        const HRESULT hr = Run(L"QELDIMPORTTITLEATTRIBUTES", result);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(result, row.outcome);
        EXPECT_EQ(DocumentCount(sim->App()), 0);
        EXPECT_THAT(ReadAll(drawing), HasSubstr(std::string("TITLE.DESCRIPTION=") + row.description + "\n"));
        const std::vector<std::wstring> messages = LogReader().Messages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), L"Error: Unknown error!"), row.outcome == -1 ? 1 : 0);
        if (row.outcome == static_cast<LONG>(E_FAIL)) {
            EXPECT_THAT(messages, Contains(L"Error: QELDImportTitleAttributes: Failed to save document (hr = 80004005)"));
            EXPECT_EQ(client->environment[L"ZEPErrorCode"], std::to_wstring(row.outcome));
        }
    }
}

TEST_F(TitleBlockCommandsTest, RefusedImportsLeaveTheHostAlone) {
    StartHost("{}");
    struct Row {
        const char* name;
        const char* ini;
        DWORD attributes;
        LONG outcome;
    } rows[] = {
        {"entry-less import INI", "[Title]\r\n", FILE_ATTRIBUTE_NORMAL, 1},
        {"read-only drawing", "[Title]\r\nDESCRIPTION=#(DESCRIPTION)\r\n", FILE_ATTRIBUTE_READONLY, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteAll(InWorkFolder(L"qeldtitleimport.ini"), row.ini);
        SetFileAttributesW(drawing.c_str(), row.attributes);
        const size_t traced = Calls().size();
        LONG result = 0;
        EXPECT_EQ(Run(L"QELDIMPORTTITLEATTRIBUTES", result), S_OK);
        EXPECT_EQ(result, row.outcome);
        EXPECT_EQ(Calls().size(), traced);
        EXPECT_EQ(CCAI_Call::FromInterface(object.get())->HostSession().Application().get(), nullptr);
    }
    SetFileAttributesW(drawing.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(TitleBlockCommandsTest, RefusedCloseGetsTheEmptyCommand) {
    StartHost("{\"closeFails\": true}");
    LONG result = -1;
    const HRESULT hr = Run(L"QELDUPDATETITLEBLOCKS", result);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(DocumentCount(sim->App()), 1);
    EXPECT_THAT(Calls(), HasSubstr(std::string(kSend) + "\"\") = 00000000"));
    EXPECT_THAT(LogReader().Messages(), Contains(L"Info: UpdateAllTitleblocks: Failed to close document (hr = 80004005)"));
}

}  // namespace
