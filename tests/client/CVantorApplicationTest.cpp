#include "client/CVantorApplication.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>
#include <functional>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

using Record = FakeCallback::Record;
using TextAccessor = std::wstring (CVantorApplication::*)();

class SessionTest : public ComponentTest {
protected:
    SessionTest() {
        client.attach(FakeCallback::Create());
        CUtils::Instance().SetLogThreshold(1);
        EXPECT_EQ(session.SetCallback(client.get()), S_OK);
    }
    ~SessionTest() override { session.ReleaseCallback(); }

    // One row's fresh start: nothing recorded, nothing logged.
    void Reset() {
        client->records.clear();
        LogReader::Remove();
    }

    ComPtr<FakeCallback> client;
    CVantorApplication& session = CVantorApplication::Instance();
};

TEST_F(SessionTest, TextSettingsSendTheirExpressionAndFilterFailures) {
    struct Row {
        TextAccessor accessor;
        const wchar_t* expression;
    } rows[] = {
        {&CVantorApplication::GetProfile, L"#(Appl:Profile)"},
        {&CVantorApplication::GetApplicationName, L"#(Appl:ApplicationName)"},
        {&CVantorApplication::GetExeFileName, L"#(Appl:ExeFileName)"},
        {&CVantorApplication::GetOpenArgument, L"#(Appl:OpenArgument)"},
        {&CVantorApplication::GetHostVersion, L"#(Appl:VectaVersion)"},
        {&CVantorApplication::GetAddIns, L"#(Appl:AddIns)"},
        {&CVantorApplication::GetTemplatePath, L"#(Appl:TemplatePath)"},
        {&CVantorApplication::GetApplTemplatePath, L"@(Appl:ApplTemplatePath:/)"},
        {&CVantorApplication::GetWorkspacePath, L"$(WSPATH:/+)"},
        {&CVantorApplication::GetLastProfile, L"$(VX16_LASTPROFILE)"},
        {&CVantorApplication::FindTitleBlockIni, L"#(FindFile \"mxdtitle.ini\" \"#(Appl:SearchPath)\")"},
        {&CVantorApplication::FindBomIni, L"#(FindFile \"QELDBom.ini\" \"#(Appl:SearchPath)\")"},
        {&CVantorApplication::FindTitleImportIni, L"#(FindFile \"qeldtitleimport.ini\" \"#(Appl:SearchPath)\")"},
        {&CVantorApplication::FindMenuFile, L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\" :|)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        Reset();
        client->answers[row.expression] = L"answer";
        EXPECT_EQ((session.*row.accessor)(), L"answer");
        client->answers[row.expression] = L"!not known";
        EXPECT_EQ((session.*row.accessor)(), L"");
        client->failing.insert(row.expression);
        EXPECT_EQ((session.*row.accessor)(), L"");
        EXPECT_THAT(client->Prepared(), ElementsAre(row.expression, row.expression, row.expression));
    }
}

// Two settings hand the client's answer on as it comes, "!" included.
TEST_F(SessionTest, RawSettingsPassBangAnswersThrough) {
    struct Row {
        TextAccessor accessor;
        const wchar_t* expression;
    } rows[] = {
        {&CVantorApplication::GetEnforcePsxOptions, L"#(Appl:EnforcePSXOptions)"},
        {&CVantorApplication::GetPublishOptionsPath, L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        Reset();
        client->answers[row.expression] = L"!not known";
        EXPECT_EQ((session.*row.accessor)(), L"!not known");
        EXPECT_EQ(session.Evaluate(row.expression), L"");  // the general rule filters it
        client->answers[row.expression] = std::nullopt;
        EXPECT_EQ((session.*row.accessor)(), L"");
        client->failing.insert(row.expression);
        EXPECT_EQ((session.*row.accessor)(), L"");
        EXPECT_EQ(client->Prepared().size(), 4u);
    }
}

TEST_F(SessionTest, WaitsFallBackToTheirDefaults) {
    struct Row {
        std::optional<std::wstring> answer;  // nullopt: the client answers a null string
        long startup;
        long activeCommand;
        bool cut = false;  // longer than the longest wait, one hour
    } rows[] = {
        {L"0", 60000, 2000},    {L"-5", 60000, 2000},     {L"abc", 60000, 2000},
        {L"", 60000, 2000},     {std::nullopt, 60000, 2000}, {L"!unknown", 60000, 2000},
        {L"1500", 1500, 1500},  {L"1500ms", 1500, 1500},  {L" +7", 7, 7},
        {L"3600000", 3600000, 3600000},
        {L"3600001", 3600000, 3600000, true},
        {L"1073741824", 3600000, 3600000, true},
        {L"99999999999", 3600000, 3600000, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.answer.value_or(L"<null>")));
        Reset();
        client->answers[L"#(Appl:WaitForStartup)"] = row.answer;
        client->answers[L"#(Appl:WaitForActiveCommand)"] = row.answer;
        EXPECT_EQ(session.GetStartupWait(), row.startup);
        EXPECT_EQ(session.GetActiveCommandWait(), row.activeCommand);
        EXPECT_THAT(client->Prepared(), ElementsAre(L"#(Appl:WaitForStartup)", L"#(Appl:WaitForActiveCommand)"));
        const std::wstring cut = L" milliseconds is too long; the longest, 3600000, is used";
        if (row.cut) {
            EXPECT_THAT(LogReader().Messages(),
                        IsSupersetOf({L"Error: GetStartupWait: A wait of " + *row.answer + cut,
                                      L"Error: GetActiveCommandWait: A wait of " + *row.answer + cut}));
        } else {
            EXPECT_THAT(LogReader().Messages(), Not(Contains(StartsWith(L"Error: "))));
        }
    }
}

TEST_F(SessionTest, NumbersAndFlagsConvertTheAnswer) {
    struct Row {
        const wchar_t* expression;
        const wchar_t* answer;
        std::function<long long(CVantorApplication&)> read;
        long long expected;
    } rows[] = {
        {L"#(Appl:LogLevel)", L"3", [](CVantorApplication& s) { return s.GetLogLevel(); }, 3},
        {L"#(Appl:LogLevel)", L"!2", [](CVantorApplication& s) { return s.GetLogLevel(); }, 0},
        {L"#(=isJobServer())", L"TRUE", [](CVantorApplication& s) { return s.IsJobServer(); }, 1},
        {L"#(=isJobServer())", L"true", [](CVantorApplication& s) { return s.IsJobServer(); }, 0},
        {L"#(=isJobServer())", L"TRUE ", [](CVantorApplication& s) { return s.IsJobServer(); }, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression) + L" = " + row.answer));
        Reset();
        client->answers[row.expression] = row.answer;
        EXPECT_EQ(row.read(session), row.expected);
        EXPECT_THAT(client->Prepared(), ElementsAre(row.expression));
    }
}

TEST_F(SessionTest, JobDeadlineIsSignExtended) {
    struct Row {
        std::optional<std::wstring> answer;
        std::int64_t expected;
    } rows[] = {
        {L"-1", -1},           {L"1767225600", 1767225600}, {L"2147483647", 2147483647},
        {L"", 0},              {std::nullopt, 0},           {L"!no job", 0},
        {L"-2147483648", -2147483647LL - 1},
        // Beyond 32 bits the value is clamped; the digits end at the first other character.
        {L"2147483648", 2147483647},  {L"-2147483649", -2147483647LL - 1},
        {L"2147483640", 2147483640},  // the last digit that still fits is taken
        {L"99999999999999999999", 2147483647},                {L" \t+42x7", 42},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.answer.value_or(L"<null>")));
        Reset();
        client->answers[L"$(JobServerJobTimeout_time_t)"] = row.answer;
        std::int64_t deadline = 12345;
        session.GetJobDeadline(&deadline);
        EXPECT_EQ(deadline, row.expected);
        EXPECT_THAT(client->Prepared(), ElementsAre(L"$(JobServerJobTimeout_time_t)"));
    }
    Reset();
    session.GetJobDeadline(nullptr);  // no variable: nothing is asked
    EXPECT_THAT(client->records, IsEmpty());
}

TEST_F(SessionTest, LastProfileRoundTripsThroughTheEnvironment) {
    session.SetLastProfile(L"Mech Design");
    EXPECT_EQ(session.GetLastProfile(), L"Mech Design");
    EXPECT_THAT(client->records, ElementsAre(Record{L"Call", L"___Environment", L"VX16_LASTPROFILE=Mech Design"},
                                             Record{L"Prepare", L"$(VX16_LASTPROFILE)", L""}));
}

TEST_F(SessionTest, FindClientFileAddsOptionsOnlyWhenGiven) {
    struct Row {
        const wchar_t* name;
        const wchar_t* options;
        const wchar_t* expression;
    } rows[] = {
        {L"a b.ini", L"", L"#(FindFile \"a b.ini\" \"#(Appl:SearchPath)\")"},
        {L"qel.vor", L":/", L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        Reset();
        client->answers[row.expression] = L"C:\\found\\file";
        EXPECT_EQ(session.FindClientFile(row.name, row.options), L"C:\\found\\file");
        EXPECT_THAT(client->Prepared(), ElementsAre(row.expression));
    }
}

TEST_F(SessionTest, PrepareQelLispCallsTheClientOnlyForAFoundTemplate) {
    const std::wstring find = L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)";
    const Record prepare{L"Call", L"___Prepare", L"'C:\\pdm\\qel.vor' '$(WSPATH:/+)qel.lsp' -utf8"};
    struct Row {
        const wchar_t* found;  // the client's search answer
        long result;           // the ___Prepare result
        bool fail;             // the ___Prepare call fails
        bool calls;
        bool expected;
    } rows[] = {
        {L"", 0, false, false, false},
        {L"!not found", 0, false, false, false},
        {L"C:\\pdm\\qel.vor", 0, false, true, true},
        {L"C:\\pdm\\qel.vor", 3, false, true, false},
        {L"C:\\pdm\\qel.vor", 0, true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.found)) + " " + std::to_string(row.result));
        Reset();
        client->answers[find] = row.found;
        client->callResults[L"___Prepare"] = row.result;
        if (row.fail) client->failing.insert(L"___Prepare");
        EXPECT_EQ(session.PrepareQelLisp(), row.expected);
        EXPECT_THAT(client->Prepared(), ElementsAre(find));
        EXPECT_EQ(client->Calls(), row.calls ? std::vector<Record>{prepare} : std::vector<Record>{});
        client->failing.erase(L"___Prepare");
    }
}

TEST_F(SessionTest, ZepFolderFollowsWow64AndTheHostRelease) {
    const std::wstring x64 = L"$(CAICLIENTPATH:|+)ZEP\\x64\\", plain = L"$(CAICLIENTPATH:|+)ZEP\\";
    client->answers[x64] = L"C:\\pdm\\ZEP\\x64\\";
    client->answers[plain] = L"C:\\pdm\\ZEP\\";

    // A fresh utility object has not looked for WOW64 yet: the version is not even asked.
    client->answers[L"#(Appl:VectaVersion)"] = L"R17.2";
    EXPECT_EQ(session.GetZepFolder(), L"C:\\pdm\\ZEP\\");
    EXPECT_THAT(client->Prepared(), ElementsAre(plain));

    // The bench's default prefix is 64-bit, where this 32-bit program runs under WOW64.
    CUtils::Instance().InitFromClient();
    CUtils::Instance().SetLogThreshold(1);
    ASSERT_TRUE(CUtils::Instance().IsWow64Flag());
    struct Row {
        const wchar_t* version;
        const std::wstring& expression;
    } rows[] = {{L"r17.2", x64}, {L"R17.1", x64}, {L"R17.2", x64}, {L"R17.0", plain},
                {L"R17.2 ", plain}, {L"R16", plain}, {L"", plain}, {L"!unknown", plain}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.version)));
        Reset();
        client->answers[L"#(Appl:VectaVersion)"] = row.version;
        EXPECT_EQ(session.GetZepFolder(), *client->answers[row.expression]);
        EXPECT_THAT(client->Prepared(), ElementsAre(L"#(Appl:VectaVersion)", row.expression));
    }
}

TEST_F(SessionTest, ReportObsoleteDocumentsOnlyForExactlyOne) {
    client->callResults[L"m_ReportObsoleteDocuments"] = 5;
    struct Row {
        const wchar_t* answer;
        long expected;
        bool calls;
    } rows[] = {{L"1", 5, true},   {L"01", 0, false},   {L" 1", 0, false},
                {L"0", 0, false},  {L"true", 0, false}, {L"", 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.answer)));
        Reset();
        client->answers[L"#(DTY:ReportObsoleteDocumentsOnOpen)"] = row.answer;
        EXPECT_EQ(session.ReportObsoleteDocuments(), row.expected);
        const std::vector<Record> expected =
            row.calls ? std::vector<Record>{{L"Call", L"m_ReportObsoleteDocuments", L""}} : std::vector<Record>{};
        EXPECT_EQ(client->Calls(), expected);
    }
}

TEST_F(SessionTest, HasWriteRightAsksForTheRecordsDynamicRight) {
    const std::wstring query = L"@(Where \"db=Folder_All_Document\" \"QELKEY=4711\" #(=crdynamic(\"W\")))";
    struct Row {
        const wchar_t* answer;
        bool expected;
    } rows[] = {{L"TRUE", true}, {L"true", false}, {L"FALSE", false}, {L"!denied", false}, {L"", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.answer)));
        Reset();
        client->answers[query] = row.answer;
        EXPECT_EQ(session.HasWriteRight(L"4711"), row.expected);
        EXPECT_THAT(client->Prepared(), ElementsAre(query));
    }
}

TEST_F(SessionTest, OldKeyIsReadAndClearedOnTheRecord) {
    const std::wstring query = L"@(where \"db=Folder_All_Document\" \"QELKEY=K2\" #(OLD_DOC_QELKEY))";
    client->answers[query] = L"K1";
    client->callResults[L"___ForRela"] = 4;
    EXPECT_EQ(session.GetOldDocumentKey(L"K2"), L"K1");
    EXPECT_EQ(session.ClearOldDocumentKey(L"K2"), 4);
    EXPECT_THAT(client->records,
                ElementsAre(Record{L"Prepare", query, L""},
                            Record{L"Call", L"___ForRela",
                                   L"db=Folder_All_Document QELKEY=K2 ___ChangeField 'OLD_DOC_QELKEY= '"}));
}

// An empty key never reaches the client, and nothing is logged for it. A key that is no
// identifier is refused with an Error entry per request.
TEST_F(SessionTest, EmptyKeysAreAnsweredWithoutTheClient) {
    EXPECT_FALSE(session.HasWriteRight(L""));
    EXPECT_EQ(session.GetOldDocumentKey(L""), L"");
    EXPECT_EQ(session.ClearOldDocumentKey(L""), 0);
    EXPECT_EQ(session.GetQelKeyPairList(L""), L"");
    EXPECT_THAT(client->records, IsEmpty());
    EXPECT_FALSE(LogReader().exists);

    // A control character shows escaped in the entry; blanks beyond ASCII are blanks too.
    const std::pair<std::wstring, std::wstring> keys[] = {
        {L"Q-1 LINE", L""}, {L"Q\"1", L""},          {L"Q'1", L""},           {L"Q|1", L""},
        {L"Q\t1", L"Q\\u00091"}, {L"Q\x7f" L"1", L"Q\\u007F1"}, {L"Q\x85" L"1", L"Q\\u00851"}, {L"#(QELKEY)", L""},
        {L"Q$(X)", L""},    {L"@(where)", L""},     {L"Q\u00a0" L"1", L""}, {L"Q\u3000" L"1", L""},
        {L"Q\ufeff" L"1", L""}, {L"Q\u2009" L"1", L""}};
    for (const auto& [key, shown] : keys) {
        SCOPED_TRACE(testing::PrintToString(key));
        LogReader::Remove();
        EXPECT_FALSE(session.HasWriteRight(key));
        EXPECT_EQ(session.GetOldDocumentKey(key), L"");
        EXPECT_EQ(session.ClearOldDocumentKey(key), -1);
        EXPECT_EQ(session.GetQelKeyPairList(key), L"");
        EXPECT_THAT(client->records, IsEmpty());
        const std::wstring refused = L": Refused QELKEY '" + (shown.empty() ? key : shown) +
                                     L"': a key holds only letters, digits, marks and \"-_./\"";
        EXPECT_THAT(LogReader().Messages(),
                    ElementsAre(L"Error: HasWriteRight" + refused, L"Error: GetOldDocumentKey" + refused,
                                L"Error: ClearOldDocumentKey" + refused, L"Error: GetQelKeyPairList" + refused));
    }
    // Identifiers with separators, digits and letters of any script pass.
    client->answers[L"@(where \"db=Folder_All_Document\" \"QELKEY=Q-2001.\u00c4-\u03a9_1\" #(OLD_DOC_QELKEY))"] = L"Q-0";
    EXPECT_EQ(session.GetOldDocumentKey(L"Q-2001.\u00c4-\u03a9_1"), L"Q-0");
}

TEST_F(SessionTest, KeyPairListIsBuiltPerReferenceAndClearedAround) {
    const Record clear{L"Call", L"___Environment", L"QelKeyPairList="};
    const Record forAll{L"Call", L"___ForAllRela",
                        L"db=Folder_xref_Child_Document \"X_PARENT_QELKEY=P1 AND OLD_DOC_QELKEY IS NOT NULL\" "
                        L"___Environment QelKeyPairList=#OLD_DOC_QELKEY #QELKEY|$QelKeyPairList"};
    struct Row {
        std::vector<std::pair<std::wstring, std::wstring>> references;  // previous and current key
        const wchar_t* expected;
    } rows[] = {
        {{{L"A1", L"A2"}, {L"B1", L"B2"}}, L"B1 B2|A1 A2|"},
        {{}, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expected)));
        Reset();
        client->environment[L"QelKeyPairList"] = L"stale|";
        bool clearedBefore = false;
        // The client runs the per-record command with the record's fields and the list so far.
        client->commands[L"___ForAllRela"] = [&](FakeCallback& self, const std::wstring&) {
            clearedBefore = self.environment.count(L"QelKeyPairList") == 0;
            for (const auto& [previous, current] : row.references)
                self.environment[L"QelKeyPairList"] = previous + L" " + current + L"|" + self.environment[L"QelKeyPairList"];
            return 0L;
        };
        EXPECT_EQ(session.GetQelKeyPairList(L"P1"), row.expected);
        EXPECT_TRUE(clearedBefore);
        EXPECT_EQ(client->environment.count(L"QelKeyPairList"), 0u);
        EXPECT_THAT(client->records, ElementsAre(clear, forAll, Record{L"Prepare", L"$(QelKeyPairList)", L""}, clear));
    }
}

// Between Run calls no callback is held: every accessor gives its empty value or default
// and the log says why; nothing raises.
TEST_F(SessionTest, WithoutCallbackEveryAccessorYieldsItsDefault) {
    session.ReleaseCallback();
    auto text = [](TextAccessor accessor) {
        return [accessor](CVantorApplication& s) { return (s.*accessor)(); };
    };
    auto number = [](auto read) { return [read](CVantorApplication& s) { return std::to_wstring(read(s)); }; };
    struct Row {
        const wchar_t* expression;  // the expression whose Prepare fails
        std::function<std::wstring(CVantorApplication&)> read;
        const wchar_t* expected;
    } rows[] = {
        {L"#(Appl:Profile)", text(&CVantorApplication::GetProfile), L""},
        {L"#(Appl:ApplicationName)", text(&CVantorApplication::GetApplicationName), L""},
        {L"#(Appl:ExeFileName)", text(&CVantorApplication::GetExeFileName), L""},
        {L"#(Appl:OpenArgument)", text(&CVantorApplication::GetOpenArgument), L""},
        {L"#(Appl:VectaVersion)", text(&CVantorApplication::GetHostVersion), L""},
        {L"#(Appl:AddIns)", text(&CVantorApplication::GetAddIns), L""},
        {L"#(Appl:TemplatePath)", text(&CVantorApplication::GetTemplatePath), L""},
        {L"@(Appl:ApplTemplatePath:/)", text(&CVantorApplication::GetApplTemplatePath), L""},
        {L"$(WSPATH:/+)", text(&CVantorApplication::GetWorkspacePath), L""},
        {L"$(VX16_LASTPROFILE)", text(&CVantorApplication::GetLastProfile), L""},
        {L"#(Appl:EnforcePSXOptions)", text(&CVantorApplication::GetEnforcePsxOptions), L""},
        {L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml", text(&CVantorApplication::GetPublishOptionsPath),
         L""},
        {L"$(CAICLIENTPATH:|+)ZEP\\", text(&CVantorApplication::GetZepFolder), L""},
        {L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\" :|)", text(&CVantorApplication::FindMenuFile), L""},
        {L"#(Appl:WaitForStartup)", number([](CVantorApplication& s) { return s.GetStartupWait(); }), L"60000"},
        {L"#(Appl:WaitForActiveCommand)", number([](CVantorApplication& s) { return s.GetActiveCommandWait(); }),
         L"2000"},
        {L"#(Appl:LogLevel)", number([](CVantorApplication& s) { return s.GetLogLevel(); }), L"0"},
        {L"#(=isJobServer())", number([](CVantorApplication& s) { return s.IsJobServer(); }), L"0"},
        {L"$(JobServerJobTimeout_time_t)", number([](CVantorApplication& s) {
             std::int64_t deadline = 99;
             s.GetJobDeadline(&deadline);
             return deadline;
         }),
         L"0"},
        {L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)",
         number([](CVantorApplication& s) { return s.PrepareQelLisp(); }), L"0"},
        {L"#(DTY:ReportObsoleteDocumentsOnOpen)",
         number([](CVantorApplication& s) { return s.ReportObsoleteDocuments(); }), L"0"},
        {L"@(Where \"db=Folder_All_Document\" \"QELKEY=7\" #(=crdynamic(\"W\")))",
         number([](CVantorApplication& s) { return s.HasWriteRight(L"7"); }), L"0"},
        {L"@(where \"db=Folder_All_Document\" \"QELKEY=7\" #(OLD_DOC_QELKEY))",
         [](CVantorApplication& s) { return s.GetOldDocumentKey(L"7"); }, L""},
        {L"$(QelKeyPairList)", [](CVantorApplication& s) { return s.GetQelKeyPairList(L"7"); }, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        LogReader::Remove();
        EXPECT_EQ(row.read(session), row.expected);
        EXPECT_THAT(LogReader().Messages(),
                    Contains(L"Error: Fennory Professional Prepare(" + std::wstring(row.expression) +
                             L") failed. No callback object."));
    }
    LogReader::Remove();
    EXPECT_EQ(session.ClearOldDocumentKey(L"7"), -1);  // the failed Call's own result
    EXPECT_THAT(LogReader().Messages(),
                Contains(L"Error: Fennory Professional Call(___ForRela, db=Folder_All_Document QELKEY=7 ___ChangeField "
                         L"'OLD_DOC_QELKEY= ') failed. No callback object."));
    EXPECT_THAT(client->records, IsEmpty());
}

}  // namespace
