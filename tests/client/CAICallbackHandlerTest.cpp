#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "fakes/PlainObject.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

using ::testing::ElementsAre;

namespace {

class CallbackTest : public ComponentTest {
protected:
    CallbackTest() {
        client.attach(FakeCallback::Create());
        CUtils::Instance().SetLogThreshold(1);
    }
    ComPtr<FakeCallback> client;
    CAICallbackHandler handler;
};

TEST_F(CallbackTest, SetCallbackAcceptsOnlyCallbackObjects) {
    EXPECT_EQ(handler.SetCallback(nullptr), E_POINTER);
    PlainObject plain;
    EXPECT_EQ(handler.SetCallback(&plain), E_NOINTERFACE);
    EXPECT_EQ(handler.GetCallback(), nullptr);
    EXPECT_EQ(plain.refs, 1);

    ASSERT_EQ(handler.SetCallback(client.get()), S_OK);
    EXPECT_EQ(handler.SetCallback(client.get()), S_OK);  // the same object is kept, not counted twice
    EXPECT_EQ(client->RefCount(), 2);
    handler.ReleaseCallback();
    EXPECT_EQ(client->RefCount(), 1);
}

TEST_F(CallbackTest, PrepareLogsAnswersAndFailures) {
    ASSERT_EQ(handler.SetCallback(client.get()), S_OK);
    client->answers[L"#(A)"] = std::nullopt;  // a null string is an empty answer
    client->answers[L"#(B)"] = L"b";
    client->answers[L"#(E)"] = std::wstring(L"e\0hidden", 8);  // written whole, by its length
    client->failing.insert(L"#(C)");
    client->failure = E_NOTIMPL;

    EXPECT_EQ(handler.Prepare(L"#(A)"), std::optional<std::wstring>(L""));
    EXPECT_EQ(handler.Prepare(L"#(B)"), std::optional<std::wstring>(L"b"));
    EXPECT_TRUE(handler.Prepare(L"#(E)"));
    EXPECT_EQ(handler.Prepare(L"#(C)"), std::nullopt);
    EXPECT_EQ(handler.Prepare(nullptr), std::nullopt);
    handler.ReleaseCallback();
    EXPECT_EQ(handler.Prepare(L"#(D)"), std::nullopt);

    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Info: Fennory Professional Prepare(#(A)) = ", L"Info: Fennory Professional Prepare(#(B)) = b",
                            L"Info: Fennory Professional Prepare(#(E)) = e\\u0000hidden",
                            L"Error: Fennory Professional Prepare(#(C)) failed (hr = 80004001)",
                            L"Error: Fennory Professional Prepare(#(D)) failed. No callback object."));
}

TEST_F(CallbackTest, CallReportsClientResultAndFailures) {
    EXPECT_EQ(handler.Call(L"___Shell", L"x", nullptr), -1);  // no callback: two entries
    ASSERT_EQ(handler.SetCallback(client.get()), S_OK);
    client->callResults[L"m_Cmd"] = 7;
    EXPECT_EQ(handler.Call(L"m_Cmd", L"a b", nullptr), 7);
    client->failing.insert(L"m_Bad");
    EXPECT_EQ(handler.Call(L"m_Bad", L"", nullptr), -2);
    EXPECT_EQ(handler.Call(nullptr, L"", nullptr), -1);

    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Info: Fennory Professional Call(___Shell, x)",
                            L"Error: Fennory Professional Call(___Shell, x) failed. No callback object.",
                            L"Info: Fennory Professional Call(m_Cmd, a b)", L"Info: Fennory Professional Call(m_Bad, )",
                            L"Error: Fennory Professional Call(m_Bad, ) failed (hr = 80004005)"));
}

TEST_F(CallbackTest, MessageTextFallsBackToKeyAndIsCut) {
    wchar_t buffer[1024];
    EXPECT_EQ(handler.GetMessageText(L"VX16003", nullptr, 1024), -1);
    EXPECT_EQ(handler.GetMessageText(nullptr, buffer, 1024), -2);
    EXPECT_EQ(handler.GetMessageText(L"VX16003", buffer, 1024), 0);  // no callback: the key
    EXPECT_STREQ(buffer, L"VX16003");

    ASSERT_EQ(handler.SetCallback(client.get()), S_OK);
    client->messages[L"LONG"] = std::wstring(2000, L'x');
    EXPECT_EQ(handler.GetMessageText(L"LONG", buffer, 1024), 0);
    EXPECT_EQ(std::wstring(buffer), std::wstring(1023, L'x'));
    client->failing.insert(L"VX16006");
    EXPECT_EQ(handler.GetMessageText(L"VX16006", buffer, 1024), -3);
    EXPECT_STREQ(buffer, L"VX16006");
    EXPECT_FALSE(LogReader().exists);  // message texts are never logged
}

TEST_F(CallbackTest, SessionOperationsFilterAndExpand) {
    CVantorApplication& session = CVantorApplication::Instance();
    EXPECT_EQ(session.GetUserMessage(L"VX16003", true), L"VX16003");  // no callback

    ASSERT_EQ(session.SetCallback(client.get()), S_OK);
    client->answers[L"#(bang)"] = L"!no such setting";
    client->answers[L"#(empty)"] = L"";
    client->messages[L"VX16003"] = L"#(caption)";
    client->answers[L"#(caption)"] = L"!raw";  // the expand step does not filter "!"
    client->messages[L"VX16004"] = L"#(caption)";
    client->messages[L"VX16010"] = L"#(long)";
    client->answers[L"#(long)"] = std::wstring(2000, L'y');

    EXPECT_EQ(session.Evaluate(L"#(bang)"), L"");
    EXPECT_EQ(session.Evaluate(L"#(empty)"), L"");
    EXPECT_EQ(session.GetUserMessage(L"VX16003", true), L"!raw");
    EXPECT_EQ(session.GetUserMessage(L"VX16004", false), L"#(caption)");
    EXPECT_EQ(session.GetUserMessage(L"VX16010", true), std::wstring(1023, L'y'));

    session.SetClientEnvironment(L"RETVECTAProfile", L"Mech");
    EXPECT_EQ(session.GetClientVariable(L"RETVECTAProfile"), L"Mech");
    EXPECT_EQ(client->Calls().back(), (FakeCallback::Record{L"Call", L"___Environment", L"RETVECTAProfile=Mech"}));
    session.ReleaseCallback();

    CVantorDocument document;
    ASSERT_EQ(document.SetCallback(client.get()), S_OK);
    EXPECT_EQ(document.Evaluate(L"#(bang)"), L"");
}

}  // namespace
