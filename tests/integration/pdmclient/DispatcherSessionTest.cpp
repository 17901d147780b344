// The client against the component's own Run dispatcher, in one process: the commands that
// need no host, with the callback answering from a workspace.
#include "CCallback.h"
#include "CComponentSession.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "component/CCAI_Call.h"
#include "fakes/ComponentTest.h"
#include <sstream>

namespace {

class DispatcherSessionTest : public ComponentTest {
protected:
    void Load(const std::string& json) {
        std::wstring error;
        ASSERT_TRUE(workspace.LoadText(json, folder.File(L"w.json"), error)) << TextCodec::ToUtf8(error);
        ASSERT_EQ(CCallback::Create(workspace, evaluator, commands, user, false, callback), S_OK);
        ComPtr<ICAI_Call> component;
        ASSERT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, component.put_void()), S_OK);
        session.Use(component);
    }
    void TearDown() override {
        session.Close();
        callback.reset();
    }
    std::string Log() const {
        return TextCodec::ToUtf8(TextCodec::Decode(TempFolder::ReadBytes(folder.File(L"vx17log.err"))));
    }

    CWorkspace workspace;
    CExpressionEvaluator evaluator{workspace};
    std::istringstream in;
    std::ostringstream out, err;
    CConsoleUser user{in, out, err};
    CClientCommands commands{workspace, evaluator, user};
    ComPtr<ICAICallback> callback;
    CComponentSession session;
};

TEST_F(DispatcherSessionTest, CheckApplicationSetsTheProfileInTheClient) {
    CreateSampleFolders(folder);
    Load(SampleWorkspaceJson(folder));
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
    CreateSampleFolders(folder);
    Load(SampleWorkspaceJson(folder));
    long result = -1;
    EXPECT_EQ(session.Run(callback.get(), L"NOSUCHCOMMAND", L"a", L"b", result), E_FAIL);
    EXPECT_EQ(result, 1);
    EXPECT_NE(Log().find("Run() NOSUCHCOMMAND (a, b) not supported"), std::string::npos);
}

TEST_F(DispatcherSessionTest, AnOldClientVersionStopsTheCommand) {
    Load(R"({"clientVersion": 529, "messages": {"VX16004": "The client is too old."},
             "settings": {"Appl": {"Profile": "Standard"}}})");
    long result = -1;
    EXPECT_EQ(session.Run(callback.get(), L"QELDCHECKAPPLICATION", L"", L"", result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(workspace.Variable(L"RETVECTAProfile")) << "the command did not run";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"The client is too old.");
}

}  // namespace
