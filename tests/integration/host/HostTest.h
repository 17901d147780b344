#pragma once
#include "component/CCAI_Call.h"
#include "fakes/CShellLauncher.h"
#include "fakes/CSimProcess.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "host/CVectaArgument.h"
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"
#include <gmock/gmock.h>
#include <memory>
#include <string>
#include <vector>

// A CAI_Call object, a fake client configured for one fresh profile whose "___Shell"
// really launches VectaSim, and the simulators a test starts itself. Every simulator is
// gone when the test ends.
class HostTest : public ComponentTest {
protected:
    static void SetUpTestSuite();

    HostTest();
    ~HostTest() override;

    // The switches the client's "#(Appl:OpenArgument)" gives a launched host.
    void SetOpenArgument(const std::wstring& extra);
    // Starts a simulator under the profile (the test's own unless given) with a trace.
    CSimProcess& StartSim(const std::wstring& extra = L"", std::wstring profile = L"");
    // Writes a drawing into the work folder and opens it in the first simulator.
    void OpenDrawing(const std::wstring& name, ComPtr<IVectaDocument>& document);
    // Lends the client to the session, as Run does, for calling operations directly.
    void LendClient();
    HRESULT Run(const std::vector<std::wstring>& items, LONG& result);
    CCAI_Call& Call() const { return *CCAI_Call::FromInterface(object.get()); }
    CHostSession& Host() const { return Call().HostSession(); }
    // Connects the object's session, as a command does, keeping no reference of the test's.
    HRESULT Connect(int start, int useLastProfile, int checkBusy) const {
        ComPtr<IVectaApplication> application;
        return Host().ConnectApplication(start, useLastProfile, checkBusy, application);
    }

    // The client answers "___Shell" without starting anything: the host never appears.
    void ShellStartsNothing();
    void SetAnswer(const std::wstring& expression, const std::wstring& value) { client->answers[expression] = value; }
    // A message whose text the client expands to itself.
    void SetMessage(const std::wstring& key, const std::wstring& text);
    std::vector<std::wstring> Messages() const;
    // Lines equal to entry; an entry ending in "*" counts the lines that begin with the rest.
    size_t Count(const std::wstring& entry) const;
    // Waits until the log holds the entry, matched as by Count (the cancel thread writes its own).
    bool WaitForEntry(const std::wstring& entry, DWORD milliseconds) const;
    size_t ShellCalls() const;
    std::string Trace() const;
    bool TraceHas(const std::string& text) const { return Trace().find(text) != std::string::npos; }
    // Quits the connected host (when there is one) and waits for every launched one to end.
    void QuitHosts();

    std::wstring profile;
    std::wstring tracePath;
    ComPtr<FakeCallback> client;
    ComPtr<ICAI_Call> object;
    CShellLauncher launcher;
    std::vector<std::unique_ptr<CSimProcess>> sims;
};
