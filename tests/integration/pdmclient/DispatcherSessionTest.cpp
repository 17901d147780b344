// The client against the component's own Run dispatcher, in one process: the commands that
// need no host, with the callback answering from a workspace.
#include "CComponentSession.h"
#include "ClientParts.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "component/CCAI_Call.h"
#include "fakes/ComponentTest.h"

namespace {

class DispatcherSessionTest : public ComponentTest, protected ClientParts {
protected:
    // The sample workspace, the callback over it and the component, as caiclient creates them.
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(LoadSample(folder, L"w.json"));
        ASSERT_NO_FATAL_FAILURE(CreateCallback());
        ComPtr<ICAI_Call> component;
        ASSERT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, component.put_void()), S_OK);
        session.Use(component);
    }
    void TearDown() override {
        session.Close();
        ReleaseCallback();
    }
    std::string Log() const {
        return TextCodec::ToUtf8(TextCodec::Decode(TempFolder::ReadBytes(folder.File(L"vx17log.err"))));
    }

    CComponentSession session;
};

TEST_F(DispatcherSessionTest, CheckApplicationSetsTheProfileInTheClient) {
    long result = -1;
    EXPECT_EQ(session.Run(callback.get(), L"qeldcheckapplication", L"", L"", result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(workspace.Variable(L"RETVECTAProfile").value_or(L""), L"Standard");
    const std::string log = Log();
    EXPECT_NE(log.find("Run() QELDCHECKAPPLICATION"), std::string::npos) << log;
    EXPECT_NE(log.find("Prepare(#(Appl:Profile)) = Standard"), std::string::npos) << log;
    EXPECT_NE(log.find("Call(___Environment, RETVECTAProfile=Standard)"), std::string::npos) << log;
}

TEST_F(DispatcherSessionTest, UnknownCommandFailsWithResultOne) {
    long result = -1;
    EXPECT_EQ(session.Run(callback.get(), L"NOSUCHCOMMAND", L"a", L"b", result), E_FAIL);
    EXPECT_EQ(result, 1);
    EXPECT_NE(Log().find("Run() NOSUCHCOMMAND (a, b) not supported"), std::string::npos);
}

TEST_F(DispatcherSessionTest, AnOldClientVersionStopsTheCommand) {
    ASSERT_NO_FATAL_FAILURE(LoadJson(R"({"clientVersion": 529, "messages": {"VX16004": "The client is too old."},
                                         "settings": {"Appl": {"Profile": "Standard"}}})",
                                      folder.File(L"w.json")));
    long result = -1;
    EXPECT_EQ(session.Run(callback.get(), L"QELDCHECKAPPLICATION", L"", L"", result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(workspace.Variable(L"RETVECTAProfile")) << "the command did not run";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"The client is too old.");
}

}  // namespace
