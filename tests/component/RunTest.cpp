#include "component/CCAI_Call.h"
#include "component/CSetTemporaryQuietMode.h"
#include "support/CRunContext.h"
#include "fakes/ArgumentArray.h"
#include "fakes/RunFixture.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "fakes/PlainObject.h"
#include "fakes/WaitLimit.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include "support/UniqueVariant.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <memory>
#include <new>
#include <thread>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace {

using RunTest = RunFixture;

TEST_F(RunTest, CommandNamesMatchInAnyCase) {
    LONG result = -1;
    EXPECT_EQ(Run({L"qeldSetLogLevel", L"2", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(CUtils::Instance().GetLogThreshold(), 2);
    EXPECT_THAT(Messages(), Contains(L"Info: Run() QELDSETLOGLEVEL 2 "));
}

TEST_F(RunTest, ArgumentsAreReadUnderTheLastElementRule) {
    struct Row {
        std::vector<std::wstring> items;
        const wchar_t* entry;  // the dispatcher's own entry
    } rows[] = {
        // One element carries no command at all.
        {{L"QELDCHECKAPPLICATION"}, L"Error: Run()  (, ) not supported"},
        // Three elements: the second argument is empty.
        {{L"QELDCHANGEQELKEY", L"A", L"B"}, L"Info: Run() QELDCHANGEQELKEY A "},
        // Elements beyond the fourth are ignored.
        {{L"QELDCHANGEQELKEY", L"A", L"B", L"C", L"D"}, L"Info: Run() QELDCHANGEQELKEY A B"},
        // An unknown name is reported with both arguments.
        {{L"frobnicate", L"x", L"y", L""}, L"Error: Run() FROBNICATE (x, y) not supported"},
        // Letters beyond plain ASCII are upper-cased by the system's rules.
        {{L"qeld\u00f6pen", L"x", L""}, L"Error: Run() QELD\u00d6PEN (x, ) not supported"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.items));
        LogReader::Remove();
        LONG result = -1;
        EXPECT_TRUE(FAILED(Run(row.items, result)));
        EXPECT_EQ(result, 1);
        EXPECT_THAT(Messages(), Contains(row.entry));
    }
}

TEST_F(RunTest, OldClientGetsMessageAndNothingRuns) {
    for (const wchar_t* version : {L"529", L""}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(version)));
        shown.clear();
        client->environment[L"_VNTXVER"] = version;
        client->messages[L"VX16004"] = L"The PDM client is too old.";
        LONG result = -1;
        EXPECT_EQ(Run({L"QELDSETLOGLEVEL", L"2", L""}, result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(CUtils::Instance().GetLogThreshold(), 1);  // the command did not run
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, L"The PDM client is too old.");
        EXPECT_EQ(shown[0].style, 0x50000u);
    }
}

TEST_F(RunTest, LogLevelIsReadOncePerProcess) {
    LONG result = 0;
    Run({L"QELDCHECKAPPLICATION", L""}, result);
    Run({L"QELDCHECKAPPLICATION", L""}, result);
    const auto prepared = client->Prepared();
    EXPECT_EQ(std::count(prepared.begin(), prepared.end(), L"#(Appl:LogLevel)"), 1);
}

TEST_F(RunTest, CheckApplicationHandsTheProfileBack) {
    struct Row {
        const wchar_t* answer;
        const wchar_t* handedBack;
    } rows[] = {
        {L"Mech", L"Mech"},
        {L"!Profile", L""},  // the client could not evaluate it
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.answer)));
        client->answers[L"#(Appl:Profile)"] = row.answer;
        client->environment[L"RETVECTAProfile"] = L"before";
        LONG result = -1;
        EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(client->environment[L"RETVECTAProfile"], row.handedBack);
    }
}

TEST_F(RunTest, SilentModeUpperCasesItsArgument) {
    struct Row {
        const wchar_t* argument;
        bool quiet;
        const wchar_t* entry;
    } rows[] = {
        {L"true", true, L"Info: Run() QELDSETSILENTMODE TRUE "},
        {L"yes", false, L"Info: Run() QELDSETSILENTMODE YES "},
        {L"1", false, L"Info: Run() QELDSETSILENTMODE 1 "},
        {L"", false, L"Info: Run() QELDSETSILENTMODE  "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.argument)));
        CUtils::Instance().SetQuiet(!row.quiet);
        LONG result = -1;
        EXPECT_EQ(Run({L"QELDSETSILENTMODE", row.argument, L""}, result), S_OK);
        EXPECT_EQ(CUtils::Instance().IsQuiet(), row.quiet);
        EXPECT_THAT(Messages(), Contains(row.entry));
    }
}

TEST_F(RunTest, LogLevelArgumentWithoutDigitsMeansErrorsOnly) {
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDSETLOGLEVEL", L"abc", L""}, result), S_OK);
    EXPECT_EQ(CUtils::Instance().GetLogThreshold(), 0);
}

TEST_F(RunTest, BadCallbacksAreRefusedAndLogged) {
    struct Row {
        IUnknown* callback;
        HRESULT expected;
        const wchar_t* entry;
    };
    PlainObject plain;
    UniqueVariant args = ArgumentArray({L"QELDSETLOGLEVEL", L"2", L""});
    for (const Row& row : {Row{nullptr, E_POINTER, L"Error: Can't set Callback Pointer (hr = 80004003)"},
                           Row{&plain, E_NOINTERFACE, L"Error: Can't set Callback Pointer (hr = 80004002)"}}) {
        UniqueVariant out;
        EXPECT_EQ(object->Run(row.callback, args.get(), out.put()), row.expected);
        EXPECT_EQ(V_I4(&out.get()), 0);
        EXPECT_THAT(Messages(), Contains(row.entry));
    }
}

TEST_F(RunTest, CallbacksAreReleasedOnEveryPath) {
    LONG result = 0;
    Run({L"QELDCHECKAPPLICATION", L""}, result);
    Run({L"nonsense", L""}, result);
    client->environment[L"_VNTXVER"] = L"1";
    Run({L"QELDCHECKAPPLICATION", L""}, result);
    EXPECT_EQ(client->RefCount(), 1);
}

TEST_F(RunTest, MalformedArgumentsAreRejected) {
    UniqueVariant notArray(std::wstring(L"QELDQUIT"));
    UniqueVariant out;
    EXPECT_EQ(object->Run(client.get(), notArray.get(), out.put()), E_INVALIDARG);
    EXPECT_EQ(V_I4(&out.get()), 1);

    UniqueVariant numbers = ArgumentArray({L"QELDQUIT", L""});
    LONG index = 0;
    UniqueVariant number(42L);
    SafeArrayPutElement(V_ARRAY(&numbers.get()), &index, const_cast<VARIANT*>(&number.get()));
    EXPECT_EQ(object->Run(client.get(), numbers.get(), out.put()), E_INVALIDARG);
    EXPECT_EQ(V_I4(&out.get()), 1);
    EXPECT_THAT(Messages(), Contains(L"Error: Run() The argument is not an array of strings (hr = 80070057)"));
    EXPECT_EQ(client->RefCount(), 1);

    EXPECT_EQ(object->Run(client.get(), numbers.get(), nullptr), E_POINTER);
}

TEST_F(RunTest, ImportReportsOutcomeWithSuccess) {
    // The checks pass, and the open fails: no profile is configured.
    TempFolder::WriteBytes(folder.File(L"qeldtitleimport.ini"), "[Title]\r\nDESCRIPTION=x\r\n");
    client->answers[L"#(FindFile \"qeldtitleimport.ini\" \"#(Appl:SearchPath)\")"] = folder.File(L"qeldtitleimport.ini");
    client->answers[L"#(QELKEY)"] = L"Q-1";
    client->answers[L"@(Where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(=crdynamic(\"W\")))"] = L"TRUE";
    LONG result = 0;
    EXPECT_EQ(Run({L"QELDIMPORTTITLEATTRIBUTES", folder.File(L"d.dwg"), L""}, result), S_OK);
    EXPECT_EQ(result, -1);
    EXPECT_THAT(Messages(), Contains(L"Error: Unknown error!"));
}

TEST_F(RunTest, PublishingRestoresTheQuietFlag) {
    for (bool before : {false, true}) {
        CUtils::Instance().SetQuiet(before);
        LONG result = 0;
        EXPECT_TRUE(FAILED(Run({L"QELDPUBLISHPSX", L"C:\\d.dwg", L""}, result)));
        EXPECT_EQ(result, 3);
        EXPECT_EQ(CUtils::Instance().IsQuiet(), before);
    }
    // The guard is its Run's own: another thread's Run asks its questions meanwhile.
    CUtils::Instance().SetQuiet(false);
    const CRunContext run(false);
    {
        const CSetTemporaryQuietMode quiet;
        EXPECT_TRUE(CUtils::Instance().IsQuiet());
        bool otherQuiet = true;
        std::thread([&] {
            const CRunContext other(false);
            otherQuiet = CUtils::Instance().IsQuiet();
        }).join();
        EXPECT_FALSE(otherQuiet);
    }
    EXPECT_FALSE(CUtils::Instance().IsQuiet());
}

// A client whose evaluator raises, as an allocation failure inside an operation would.
TEST_F(RunTest, RaisedErrorsNeverEscape) {
    client->throwing.insert(L"#(Appl:Profile)");
    LONG result = 0;
    EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), E_OUTOFMEMORY);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(client->RefCount(), 1);
    EXPECT_THAT(Messages(), Contains(L"Error: Run() failed with an unexpected error (hr = 8007000E)"));
}

// Only a read-write open asks for the obsolete-documents report, and the open follows it.
TEST_F(RunTest, OpenReportsObsoleteDocumentsFirst) {
    client->answers[L"#(DTY:ReportObsoleteDocumentsOnOpen)"] = L"1";
    struct Row {
        const wchar_t* command;
        bool reports;
    } rows[] = {{L"QELDOPEN", true}, {L"QELDOPENREADONLY", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.command)));
        LogReader::Remove();
        client->records.clear();
        LONG result = 0;
        // Without a profile the open's connection refuses at once.
        EXPECT_EQ(Run({row.command, L"C:\\d.dwg", L""}, result), E_INVALIDARG);
        const std::vector<FakeCallback::Record> expected =
            row.reports ? std::vector<FakeCallback::Record>{{L"Call", L"m_ReportObsoleteDocuments", L""}}
                        : std::vector<FakeCallback::Record>{};
        EXPECT_EQ(client->Calls(), expected);
        const std::vector<std::wstring> messages = Messages();
        const auto report = std::find(messages.begin(), messages.end(),
                                      L"Info: Fennory Professional Call(m_ReportObsoleteDocuments, )");
        const auto open = std::find(messages.begin(), messages.end(),
                                    L"Error: Attribute 'Profile' is not defined for this Application");
        ASSERT_NE(open, messages.end());
        EXPECT_EQ(report != messages.end(), row.reports);
        if (row.reports) {
            EXPECT_LT(report - messages.begin(), open - messages.begin());
        }
    }
}

// Two client threads, each in its own apartment with its own object and callback: every
// client call of a Run goes to that Run's own callback, and none is lost. Both clients answer
// the first setting slowly: the Run that comes second waits for the settings, so that its
// first entry is written under the threshold read.
TEST_F(RunTest, ConcurrentRunsKeepTheirOwnCallbacks) {
    constexpr int kRuns = 200;
    struct Outcome {
        int failures = 0;        // a Run's HRESULT or result code
        int missedProfiles = 0;  // RETVECTAProfile not set by a QELDCHECKAPPLICATION
        int strangers = 0;       // calls in this client that named another thread's profile
        int checks = 0;
        int settingsReads = 0;
    };
    auto client = [&](const std::wstring& profile, Outcome& outcome) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<FakeCallback> own;
            own.attach(FakeCallback::Create());
            own->environment[L"_VNTXVER"] = L"530";
            own->answers[L"#(Appl:Profile)"] = profile;
            own->answers[L"#(Appl:LogLevel)"] = L"1";
            own->beforeAnswer[L"#(Appl:LogLevel)"] = [] { Sleep(200); };
            ComPtr<ICAI_Call> call;
            if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, call.put_void()))) {
                for (int i = 0; i < kRuns; ++i) {
                    const bool check = i % 2 == 0;
                    UniqueVariant args = ArgumentArray(check ? std::vector<std::wstring>{L"QELDCHECKAPPLICATION", L""}
                                                             : std::vector<std::wstring>{L"QELDSETLOGLEVEL", L"1", L""});
                    own->environment.erase(L"RETVECTAProfile");
                    UniqueVariant out;
                    if (call->Run(own.get(), args.get(), out.put()) != S_OK || V_I4(&out.get()) != 0) ++outcome.failures;
                    if (check && own->environment[L"RETVECTAProfile"] != profile) ++outcome.missedProfiles;
                }
            }
            for (const FakeCallback::Record& call : own->Calls()) {
                ++outcome.checks;
                if (call.arguments != L"RETVECTAProfile=" + profile) ++outcome.strangers;
            }
            const auto prepared = own->Prepared();
            outcome.settingsReads = static_cast<int>(std::count(prepared.begin(), prepared.end(), L"#(Appl:LogLevel)"));
        }
        CoUninitialize();
    };
    Outcome first, second;
    std::thread a(client, L"First", std::ref(first)), b(client, L"Second", std::ref(second));
    JoinWithin(a, "the first client's Runs");
    JoinWithin(b, "the second client's Runs");
    for (const Outcome* outcome : {&first, &second}) {
        EXPECT_EQ(outcome->failures, 0);
        EXPECT_EQ(outcome->missedProfiles, 0);
        EXPECT_EQ(outcome->strangers, 0);
        EXPECT_EQ(outcome->checks, kRuns / 2);
    }
    EXPECT_EQ(first.settingsReads + second.settingsReads, 1);
    // Whole entries from both threads, under one header; every Run's own among them.
    const LogReader log;
    EXPECT_TRUE(log.crLfOnly);
    int headers = 0, runs = 0;
    for (const std::wstring& entry : log.Entries()) {
        if (entry.rfind(L" :", 0) == 0) {
            headers += entry.rfind(L" :CAI DLL: ", 0) == 0;
            continue;
        }
        runs += entry.rfind(L": Info: Run() ", 0) == 0;
        EXPECT_TRUE(entry.rfind(L": Info: ", 0) == 0 || entry.rfind(L": Error: ", 0) == 0) << entry;
    }
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(runs, 2 * kRuns);
}

// The client re-enters from an answer on the same thread, through a second object or the
// same one (which the outer Run holds): when the inner Run ends, the outer one has its
// callback back.
TEST_F(RunTest, NestedRunLeavesTheOuterCallback) {
    ComPtr<ICAI_Call> second;
    ASSERT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, second.put_void()), S_OK);
    for (ICAI_Call* target : {second.get(), object.get()}) {
        SCOPED_TRACE(target == object.get() ? "same object" : "second object");
        LogReader::Remove();
        CUtils::Instance().SetLogThreshold(1);
        ComPtr<FakeCallback> inner;
        inner.attach(FakeCallback::Create());
        inner->environment[L"_VNTXVER"] = L"530";
        HRESULT innerResult = E_FAIL;
        client->answers[L"#(Appl:Profile)"] = L"Mech";
        client->environment.erase(L"RETVECTAProfile");
        client->beforeAnswer[L"#(Appl:Profile)"] = [&] {
            UniqueVariant args = ArgumentArray({L"QELDSETLOGLEVEL", L"2", L""});
            UniqueVariant out;
            innerResult = target->Run(inner.get(), args.get(), out.put());
        };
        LONG result = -1;
        EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), S_OK);
        EXPECT_EQ(innerResult, S_OK);
        EXPECT_EQ(CUtils::Instance().GetLogThreshold(), 2);
        EXPECT_EQ(client->environment[L"RETVECTAProfile"], L"Mech");
        EXPECT_TRUE(inner->Calls().empty());
        EXPECT_THAT(Messages(), Not(Contains(testing::HasSubstr(L"No callback object."))));
        EXPECT_EQ(client->RefCount(), 1);
        EXPECT_EQ(inner->RefCount(), 1);
    }
}

}  // namespace
