#include "HostTest.h"
#include "client/CVantorApplication.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueHandle.h"
#include "fakes/WaitLimit.h"
#include <ctime>
#include <thread>
#include <utility>

using ::testing::Contains;
using ::testing::Not;

namespace {

class ConnectTest : public HostTest {
protected:
    // A second object searching with its own client on a thread of its own; ready is set once
    // it is about to search (or could not).
    struct OtherSearch {
        ComPtr<FakeCallback> client;
        UniqueHandle ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HRESULT result = E_UNEXPECTED;
        bool connected = false;
        std::thread thread;

        explicit OtherSearch(const FakeCallback& like) {
            client.attach(FakeCallback::Create());
            client->answers = like.answers;
        }
        void Start() {
            thread = std::thread([this] {
                if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
                    ComPtr<ICAI_Call> object;
                    CAICallbackHandler::RunScope scope(CVantorApplication::Instance().Handler());
                    if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void())) &&
                        SUCCEEDED(scope.Set(client.get()))) {
                        SetEvent(ready.get());
                        ComPtr<IVectaApplication> application;
                        result = CCAI_Call::FromInterface(object.get())->HostSession().ConnectApplication(1, 0, 1, application);
                        connected = application.get() != nullptr;
                    }
                    object.reset();  // the host's proxy goes in its own apartment
                    CoUninitialize();
                }
                SetEvent(ready.get());  // also when this thread could not search
            });
        }
    };
};

// An instance registered as the host registers itself, answering a query for the application
// interface with its own failure.
class RefusingInstance final : public IUnknown {
public:
    explicit RefusingInstance(HRESULT refusal) noexcept : m_refusal(refusal) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IVectaApplication) return m_refusal;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&m_refs)); }

private:
    HRESULT m_refusal;
    LONG m_refs = 1;
};

long DocumentCount(IVectaApplication* app) {
    ComPtr<IVectaDocuments> documents;
    long count = -1;
    if (app && SUCCEEDED(app->get_Documents(documents.put()))) (void)documents->get_Count(&count);
    return count;
}

TEST_F(ConnectTest, RunningHostIsFoundInTheFirstPassWithoutStarting) {
    StartSim(L"/startup 1");
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    EXPECT_LT(GetTickCount() - begin, 900u);  // no search pass slept
    ASSERT_NE(Host().Application().get(), nullptr);
    EXPECT_EQ(ShellCalls(), 0u);
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    EXPECT_THAT(Messages(), Contains(L"Info: Correct Vecta application with profile '" + profile + L"' found."));
    EXPECT_THAT(Messages(), Not(Contains(L"Info: Start of Vecta")));
    // Not started by this connection: its start-up drawing stays, the options stay alone.
    EXPECT_EQ(DocumentCount(Host().Application().get()), 1);
    EXPECT_THAT(Messages(), Not(Contains(::testing::HasSubstr(L"CloseStartUpDrawings"))));
    EXPECT_THAT(client->Prepared(), Not(Contains(L"$(WSPATH:/+)")));
    // The session is still set up when starting was allowed.
    EXPECT_THAT(Messages(), Contains(L"Error: InitApplication: Fennory Professional menu file 'vantor.mns' not found."));
}

TEST_F(ConnectTest, MissingHostIsStartedThroughTheClientAndFound) {
    SetOpenArgument(L"/startup 2");
    const std::wstring options = folder.File(L"source.xml");
    TempFolder::WriteBytes(options, "<options/>");
    client->answers[L"$(WSPATH:/+)"] = folder.Path() + L"/";
    client->answers[L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml"] = options;
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    const DWORD took = GetTickCount() - begin;
    ASSERT_NE(Host().Application().get(), nullptr);
    EXPECT_EQ(ShellCalls(), 1u);
    EXPECT_EQ(launcher.Started(), 1u);
    EXPECT_GE(took, 1000u);  // found in a later pass
    EXPECT_LT(took, 6000u);
    EXPECT_THAT(Messages(), Contains(L"Info: Start of Vecta"));
    EXPECT_THAT(client->Calls(),
                Contains(FakeCallback::Record{L"Call", L"___Shell",
                                              L"Shellexecute(open '" + CSimProcess::SimPath() + L"' '" +
                                                  *client->answers[L"#(Appl:OpenArgument)"] + L"' '$(WSPATH:|-)' )"}));
    EXPECT_EQ(client->environment[L"VX16_LASTPROFILE"], profile);
    const auto prepared = client->Prepared();
    EXPECT_LT(std::find(prepared.begin(), prepared.end(), L"#(Appl:ExeFileName)"),
              std::find(prepared.begin(), prepared.end(), L"#(Appl:OpenArgument)"));
    // Both start-up drawings closed, the publishing options refreshed.
    EXPECT_EQ(DocumentCount(Host().Application().get()), 0);
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing1.dwg'"));
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing2.dwg'"));
    EXPECT_EQ(TempFolder::ReadBytes(folder.File(L"Publish Options.xml")), "<options/>");
}

TEST_F(ConnectTest, WithoutStartFlagAMissingHostGivesOneMessageAndNoWait) {
    client->messages[L"VX16006"] = L"Vecta is not running";
    client->answers[L"Vecta is not running"] = L"Vecta is not running";
    LendClient();
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Connect(0, 0, 1), E_FAIL);
    EXPECT_LT(GetTickCount() - begin, 900u);
    EXPECT_EQ(ShellCalls(), 0u);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Vecta is not running");
    EXPECT_EQ(shown[0].style & 0xFF, 0x30u);
    EXPECT_THAT(Messages(), Contains(L"Info: Vecta with the required profile '" + profile + L"' is not available"));
}

// Whatever the instance answers for the application interface, it is running: it is found,
// the connection fails with E_NOINTERFACE, and no second host is started.
TEST_F(ConnectTest, AnInstanceRefusingTheApplicationInterfaceIsFoundAndNoSecondHostStarted) {
    ShellStartsNothing();
    SetAnswer(L"#(Appl:WaitForStartup)", L"300");
    boxAnswer = IDNO;
    ComPtr<IRunningObjectTable> table;
    ComPtr<IMoniker> item;
    ASSERT_EQ(GetRunningObjectTable(0, table.put()), S_OK);
    ASSERT_EQ(CreateItemMoniker(L"!", (L"QELDVecta17Instance:" + profile).c_str(), item.put()), S_OK);
    for (const HRESULT refusal : {E_NOINTERFACE, E_ACCESSDENIED, RPC_E_DISCONNECTED}) {
        SCOPED_TRACE(refusal);
        LogReader::Remove();
        RefusingInstance instance(refusal);
        DWORD cookie = 0;
        ASSERT_TRUE(SUCCEEDED(table->Register(0, &instance, item.get(), &cookie)));
        LendClient();
        EXPECT_EQ(Connect(1, 0, 1), E_NOINTERFACE);
        EXPECT_EQ(table->Revoke(cookie), S_OK);
        EXPECT_EQ(ShellCalls(), 0u);
        EXPECT_EQ(Host().Application().get(), nullptr);
        EXPECT_THAT(Messages(), Contains(L"Info: Correct Vecta application with profile '" + profile + L"' found."));
    }
}

// A client answer during the session set-up runs QELDOPEN on the same object against an
// instance that refuses the application interface: the nested connection clears the
// session's reference, and the outer open goes on with its own and answers for itself.
TEST_F(ConnectTest, NestedRunThatLosesTheHostLeavesTheOuterCommandItsOwn) {
    StartSim();
    const std::wstring refusing = profile + L"-refusing";
    RefusingInstance instance(E_NOINTERFACE);
    ComPtr<IRunningObjectTable> table;
    ComPtr<IMoniker> item;
    DWORD cookie = 0;
    ASSERT_EQ(GetRunningObjectTable(0, table.put()), S_OK);
    ASSERT_EQ(CreateItemMoniker(L"!", (L"QELDVecta17Instance:" + refusing).c_str(), item.put()), S_OK);
    ASSERT_TRUE(SUCCEEDED(table->Register(0, &instance, item.get(), &cookie)));
    // An add-in of the product: the set-up calls the host again after the answer.
    SetAnswer(L"#(Appl:AddIns)", L"qeldnested.zep");
    for (const wchar_t* folderExpression : {L"$(CAICLIENTPATH:|+)ZEP\\", L"$(CAICLIENTPATH:|+)ZEP\\x64\\"})
        SetAnswer(folderExpression, folder.File(L"zep\\"));
    const std::wstring drawing = folder.File(L"nested.vdr");
    TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\nKEY=Q-1\n");
    LONG nested = -1;
    client->beforeAnswer[L"#(Appl:AddIns)"] = [&] {
        if (nested != -1) return;
        SetAnswer(L"#(Appl:Profile)", refusing);
        EXPECT_EQ(Run({L"QELDOPEN", drawing, L""}, nested), E_NOINTERFACE);
        SetAnswer(L"#(Appl:Profile)", profile);
    };
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDOPEN", drawing, L""}, result), S_OK);
    EXPECT_EQ(table->Revoke(cookie), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(Host().Application().get(), nullptr);
    EXPECT_TRUE(TraceHas("LoadAddIn("));
}

// Two objects on two threads both need the host: one of them starts it, the other waits for
// that start with its own search (passes, cancel thread, log lines) and finds the same host.
TEST_F(ConnectTest, TwoSearchesOfOneProcessStartOneHostForTheirProfile) {
    const std::wstring waiting =
        L"Info: LocateApplication: Vecta with the profile '" + profile + L"' is being started; wait for it (its start was sent *";
    OtherSearch other(*client.get());
    CShellLauncher otherLauncher;
    // Whichever search starts the host does so once the other one is waiting.
    for (auto [shellClient, shellLauncher] : {std::pair{client.get(), &launcher}, std::pair{other.client.get(), &otherLauncher}})
        shellClient->commands[L"___Shell"] = [this, &waiting, shellLauncher](FakeCallback&, const std::wstring& command) {
            (void)WaitForEntry(waiting, 5000);
            return shellLauncher->Launch(command);
        };
    other.Start();
    LendClient();
    WaitForSingleObject(other.ready.get(), 5000);
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    JoinWithin(other.thread, "the other search's connection");
    EXPECT_EQ(other.result, S_OK);
    EXPECT_TRUE(other.connected);
    EXPECT_NE(Host().Application().get(), nullptr);
    EXPECT_EQ(launcher.Started() + otherLauncher.Started(), 1u);
    EXPECT_EQ(Count(L"Info: Start of Vecta"), 1u);
    EXPECT_EQ(Count(waiting), 1u);
    EXPECT_EQ(Count(L"Info: Correct Vecta application with profile '" + profile + L"' found."), 2u);
    ASSERT_TRUE(WaitForComponentThreads(5000));
    EXPECT_EQ(Count(L"Info: CancelThread: Enter"), 2u);
    EXPECT_EQ(Count(L"Info: CancelThread: Exit"), 2u);
}

// The search that sent the start gives up (its job's deadline) before the host registers:
// the other search still waiting for the profile sends no second start, finds that host and
// closes its start-up drawing.
TEST_F(ConnectTest, ASearchGivingUpBeforeItsHostRegistersLeavesNoSecondStart) {
    SetOpenArgument(L"/startup 1");
    OtherSearch other(*client.get());
    CShellLauncher otherLauncher;
    otherLauncher.Attach(*other.client.get());
    std::wstring startCommand;
    client->commands[L"___Shell"] = [&](FakeCallback&, const std::wstring& command) {
        startCommand = command;  // launched only once this search has given up
        other.Start();
        return 0L;
    };
    client->environment[L"JobServerJobTimeout_time_t"] = std::to_wstring(_time64(nullptr) + 1);
    LendClient();
    EXPECT_EQ(Connect(1, 0, 1), HR_TIMEOUT);
    ASSERT_FALSE(startCommand.empty());
    WaitForSingleObject(other.ready.get(), 5000);
    EXPECT_EQ(launcher.Launch(startCommand), 0);
    JoinWithin(other.thread, "the other search's connection");
    EXPECT_EQ(other.result, S_OK);
    EXPECT_TRUE(other.connected);
    EXPECT_EQ(launcher.Started() + otherLauncher.Started(), 1u);
    EXPECT_EQ(Count(L"Info: Start of Vecta"), 1u);
    EXPECT_EQ(Count(L"Info: CloseStartUpDrawings: Close drawing 'Drawing1.dwg'"), 1u);
    EXPECT_EQ(Connect(0, 0, 0), S_OK);  // held, so that the fixture quits it
}

TEST_F(ConnectTest, CommandsRunEndToEndThroughRun) {
    StartSim();
    ComPtr<IVectaDocument> document;
    OpenDrawing(L"managed.vdr", document);
    client->environment[L"VX16_LASTPROFILE"] = profile;
    client->answers[L"@(QELKEYfromPath \"" + folder.Path() + L"\\managed.vdr\")"] = L"Q-1";

    LONG result = -1;
    EXPECT_EQ(Run({L"QELDRESTORE", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    ASSERT_NE(Host().Application().get(), nullptr);

    EXPECT_EQ(Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(TraceHas("Command.Run(\"QELDSHOWTITLE Q-1\")"));

    // A drawing is open: the host stays.
    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_THAT(Messages(), Contains(L"Info: QuitVecta: Don't quit Vecta, because there is still an active document"));
    EXPECT_FALSE(sims[0]->WaitForExit(0));

    ASSERT_EQ(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()), S_OK);
    document.reset();
    EXPECT_EQ(Run({L"QELDQUIT", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    sims[0]->ReleaseApp();
    EXPECT_TRUE(sims[0]->WaitForExit(5000));

    // The object keeps the dead host's reference and reports its failure.
    const HRESULT hr = Run({L"COMMAND", L"QELDSHOWTITLE Q-1 ", L""}, result);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(result, 1);
    EXPECT_THAT(Messages(), Contains(L"Error: SendCommand: Can't send command. There is no active document"));
}

}  // namespace
