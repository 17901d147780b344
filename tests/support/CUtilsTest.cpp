#include "fakes/ComponentTest.h"
#include "fakes/LogReader.h"
#include "fakes/WaitLimit.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <functional>
#include <regex>
#include <thread>
#include <utility>

using ::testing::ElementsAre;

namespace {

// Answers the client questions of the utility object from a table and counts them.
struct TableClient : IClientAccess {
    std::map<std::wstring, std::wstring> answers;
    std::vector<std::wstring> asked;
    std::function<void()> beforeFirstAnswer;  // as a client that re-enters the component
    std::wstring Evaluate(const std::wstring& e) override {
        asked.push_back(e);
        if (auto hook = std::exchange(beforeFirstAnswer, nullptr)) hook();
        return answers.count(e) ? answers[e] : L"";
    }
    std::wstring GetUserMessage(const std::wstring& key, bool) override { return L"caption of " + key; }
};

class UtilsTest : public ComponentTest {
protected:
    CUtils& utils = CUtils::Instance();
};

TEST_F(UtilsTest, FirstEntryCreatesFileWithBomAndHeaderOnce) {
    utils.WriteLog(0, L"first %d", 1);
    utils.WriteLog(0, L"second");
    LogReader log;
    ASSERT_TRUE(log.exists);
    EXPECT_TRUE(log.hasBom);
    EXPECT_TRUE(log.crLfOnly);
    EXPECT_THAT(log.Entries(), ElementsAre(L" :-------------------------------------------------",
                                           L" :CAI DLL: QELDVecta17 (1.0.0.0) QELDVecta17.DLL",
                                           L": Error: first 1", L": Error: second"));
    // The time text is exactly 24 characters: Www Mmm dd hh:mm:ss yyyy.
    const std::wregex time(L"^(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                           L"[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}$");
    for (const std::wstring& record : log.records) EXPECT_TRUE(std::regex_match(record.substr(0, 24), time)) << record;
}

// Two threads (two Runs, or a Run and the cancel thread) writing entries of two lines at
// once: whole entries, one byte order mark, one header, nothing lost.
TEST_F(UtilsTest, TwoWritersWriteWholeEntriesUnderOneHeader) {
    constexpr int kLines = 1000;
    auto writer = [&](int id) {
        for (int i = 0; i < kLines; ++i) utils.WriteLog(0, L"writer %d line %d\nand its second line", id, i);
    };
    std::thread a(writer, 1), b(writer, 2);
    JoinWithin(a, "the first log writer");
    JoinWithin(b, "the second log writer");
    const LogReader log;
    EXPECT_TRUE(log.hasBom);
    EXPECT_TRUE(log.crLfOnly);
    const std::vector<std::wstring> entries = log.Entries();
    ASSERT_EQ(entries.size(), 2u + 2 * kLines);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), L" :-------------------------------------------------"), 1);
    const std::wregex entry(L"^: Error: writer [12] line [0-9]+\nand its second line$");
    for (size_t i = 2; i < entries.size(); ++i) EXPECT_TRUE(std::regex_match(entries[i], entry)) << entries[i];
    for (const std::wstring& text : log.records) EXPECT_EQ(text.find(L'\xFEFF'), std::wstring::npos);  // one mark only
}

TEST_F(UtilsTest, ExistingFileWithoutBomGetsNone) {
    TempFolder::WriteBytes(L"vx17log.err", std::string("x\0", 2));
    utils.WriteLog(0, L"entry");
    const std::string bytes = TempFolder::ReadBytes(L"vx17log.err");
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("x\0", 2));  // appended after the last byte
    EXPECT_NE(bytes.substr(2, 2), std::string("\xFF\xFE"));
}

TEST_F(UtilsTest, LevelsAgainstThreshold) {
    struct Row {
        long threshold;
        int level;
        const wchar_t* expected;  // null: nothing written
    } rows[] = {
        {0, 1, nullptr},             // info under the default threshold
        {1, 1, L"Info: entry"},      //
        {1, 2, nullptr},             // messages need threshold 2
        {2, 2, L"Message: entry"},   //
        {2, 0, L"Error: entry"},     //
        {-1, 0, nullptr},            // a negative threshold silences errors too
        {10, 7, L"Message: entry"},  // unknown levels are written as messages
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.threshold) + "/" + std::to_string(row.level));
        LogReader::Remove();
        utils.SetLogThreshold(row.threshold);
        utils.WriteLog(row.level, L"entry");
        LogReader log;
        if (!row.expected) {
            EXPECT_FALSE(log.exists);  // not even created
        } else {
            ASSERT_FALSE(log.Messages().empty());
            EXPECT_EQ(log.Messages().back(), row.expected);
        }
    }
}

TEST_F(UtilsTest, FormatsWideStringsIntegersAndHex) {
    utils.WriteLog(0, L"%s|%s|%d|%X", std::wstring(L"wide"), L"literal", -5, static_cast<HRESULT>(0x80004003));
    // A value's control characters show escaped: none starts a line, a NUL does not cut it.
    utils.WriteLog(0, L"key %s", std::wstring(L"K\r\ndel x\0y", 10));
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Error: wide|literal|-5|80004003", L"Error: key K\\u000D\\u000Adel x\\u0000y"));
}

// A client's text may hold line breaks and a forged time stamp: each of its lines goes on after a
// tab, and what strict readers stop at is escaped, so the log still decodes and splits right.
TEST_F(UtilsTest, NoValueStartsALineAndTheLogDecodesStrictly) {
    utils.SetLogThreshold(2);
    utils.SetQuiet(true);
    utils.ShowMessage(L"Done\r\nSun Dec 06 15:04:38 2026: Info: PublishPSX: published\nby admin\r", 0);
    utils.WriteLog(0, L"%s", std::wstring(L"a\xD800" L"b\xDC00" L"c\u2028d\u2029e\u202Ef\u0085g\U0001F600h"));
    utils.SetQuiet(false);
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Message: Done\r\n\tSun Dec 06 15:04:38 2026: Info: PublishPSX: published\r\n\tby admin\r\n\t",
                            L"Error: a\\uD800b\\uDC00c\\u2028d\\u2029e\\u202Ef\\u0085g\U0001F600h"));
    const std::string bytes = TempFolder::ReadBytes(L"vx17log.err");
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_GT(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr),
              0);
}

// A log planted as a link (Wine opens through a Unix link) is never written through.
TEST_F(UtilsTest, ALogPlantedAsALinkTakesNoEntry) {
    const std::wstring script = folder.File(L"script.cmd");
    TempFolder::WriteBytes(script, "echo\r\n");
    utils.WriteLog(0, L"before");  // a log checked once is checked again when another file stands there
    ASSERT_TRUE(TempFolder::UnixLink(script, folder.File(L"vx17log.err")));
    utils.WriteLog(0, L"entry");
    EXPECT_EQ(TempFolder::ReadBytes(script), "echo\r\n");
    // Nor is the missing file a link leads to created.
    ASSERT_TRUE(DeleteFileW(script.c_str()));
    utils.WriteLog(0, L"entry");
    EXPECT_EQ(GetFileAttributesW(script.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UtilsTest, QuietModeLogsMessagesAndAnswersDefault) {
    utils.SetLogThreshold(2);
    utils.SetQuiet(true);
    utils.ShowMessage(L"100% done %s", MB_OK);  // logged literally, not as a format
    EXPECT_EQ(utils.AskMessage(L"Keep waiting?", IDYES, MB_YESNO | MB_ICONQUESTION), IDYES);
    utils.ShowMessage(L"", MB_OK);
    // Texts of several lines are written as they are, each one entry whose further lines start
    // with a tab.
    EXPECT_EQ(utils.AskMessage(L"Vecta is not there yet.\nKeep waiting?", IDYES, 0x24), IDYES);
    utils.ShowMessage(L"first\r\n\r\nsecond", MB_OK);
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Message: 100% done %s", L"Message: Keep waiting?: 6",
                            L"Message: Vecta is not there yet.\r\n\tKeep waiting?: 6",
                            L"Message: first\r\n\t\r\n\tsecond"));
    EXPECT_TRUE(shown.empty());
}

TEST_F(UtilsTest, InteractiveBoxesCarryCaptionAndForegroundFlags) {
    TableClient client;
    utils.SetClientAccess(&client);
    boxAnswer = IDNO;
    utils.ShowMessage(L"hello", 0x30);
    EXPECT_EQ(utils.AskMessage(L"sure?", IDYES, 0x24), IDNO);
    EXPECT_EQ(utils.AskMessage(L"", IDYES, 0x24), IDYES);  // empty text asks nothing
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, L"caption of VX16003");
    EXPECT_EQ(shown[0].style, 0x50030u);
    EXPECT_EQ(shown[1].style, 0x50024u);
    utils.SetClientAccess(nullptr);
}

TEST_F(UtilsTest, InitFromClientReadsOnceAndParsesJobServer) {
    struct Row {
        const wchar_t* jobServer;
        bool quiet;
        // A Run re-entered from the client's first answer reads the settings itself.
        bool reentered;
    } rows[] = {{L"1", true, false},     {L" 1", true, false}, {L"01", true, false}, {L"2", false, false},
                {L"TRUE", false, false}, {L"", false, false},  {L"1", true, true},   {L"", false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.jobServer)) + (row.reentered ? " re-entered" : ""));
        CUtils::DestroyInstance();
        CUtils& fresh = CUtils::Instance();
        TableClient client;
        client.answers[L"$(JobServerRunning:-0)"] = row.jobServer;
        client.answers[L"#(Appl:LogLevel)"] = L"2";
        bool innerQuiet = false;
        long innerThreshold = -1;
        if (row.reentered) {
            client.beforeFirstAnswer = [&] {
                fresh.InitFromClient();
                innerQuiet = fresh.IsQuiet();
                innerThreshold = fresh.GetLogThreshold();
                fresh.SetLogThreshold(1);  // as QELDSETLOGLEVEL in the inner Run: the outer read keeps it
            };
        }
        fresh.SetClientAccess(&client);
        fresh.InitFromClient();
        if (row.reentered) {
            EXPECT_EQ(innerQuiet, row.quiet);
            EXPECT_EQ(innerThreshold, 2);
            EXPECT_EQ(fresh.GetLogThreshold(), 1);
        }
        fresh.SetLogThreshold(0);
        fresh.InitFromClient();  // a second call changes nothing
        EXPECT_EQ(fresh.IsQuiet(), row.quiet);
        EXPECT_EQ(fresh.GetLogThreshold(), 0);
        EXPECT_EQ(client.asked.size(), row.reentered ? 4u : 2u);
        fresh.SetClientAccess(nullptr);
    }
}

// The test bench uses Wine's default 64-bit prefix, where this 32-bit program runs under WOW64.
TEST_F(UtilsTest, DetectsWow64UnderA64BitPrefix) { EXPECT_TRUE(CUtils::IsWow64()); }

}  // namespace
