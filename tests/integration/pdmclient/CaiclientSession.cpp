#include "CaiclientSession.h"
#include "FolderSnapshot.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "fakes/LogReader.h"
#include <windows.h>
#include <algorithm>

void CaiclientSession::SetUpTestSuite() {
    TempFolder folder;
    std::wstring from;
    for (const char* file : {COMPONENT_DLL, INSTANCE_DLL, VECTASIM_EXE}) {
        const std::wstring path = WindowsPath(file);
        from += L" --from \"" + path.substr(0, path.rfind(L'\\')) + L"\"";
    }
    const CaiclientRun run = RunCaiclient(folder, L"--register" + from);
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
}

CaiclientRun CaiclientSession::RunScript(const std::string& workspaceJson, const std::string& script,
                                         const std::wstring& options) {
    CreateDirectoryW(Workspace().c_str(), nullptr);
    LogReader::Remove(Workspace() + L"\\vx17log.err");
    Put(root, L"ws\\workspace.json", workspaceJson);
    Put(root, L"ws\\session.txt", script);
    const FolderSnapshot before(Workspace());
    const CaiclientRun run = RunCaiclient(root, L"-w workspace.json --script session.txt --trace" + options, Workspace());
    changes = before.ChangesTo(FolderSnapshot(Workspace()));
    return run;
}

std::vector<std::string> CaiclientSession::LogMessages() const {
    std::vector<std::string> messages;
    for (const std::wstring& message : LogReader(Workspace() + L"\\vx17log.err").Messages())
        messages.push_back(TextCodec::ToUtf8(message));
    return messages;
}

bool CaiclientSession::Logged(const std::string& message) const {
    const std::vector<std::string> messages = LogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

::testing::AssertionResult CaiclientSession::LoggedInOrder(const std::vector<std::string>& expected) const {
    const std::vector<std::string> messages = LogMessages();
    auto next = messages.begin();
    for (const std::string& message : expected) {
        next = std::find(next, messages.end(), message);
        if (next == messages.end()) return ::testing::AssertionFailure() << "not logged (in this order): " << message;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CaiclientSession::PrintedInOrder(const CaiclientRun& run,
                                                            const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& part : expected) {
        at = run.out.find(part, at);
        if (at == std::string::npos)
            return ::testing::AssertionFailure() << "not printed (in this order): " << part << "\n" << run.out;
    }
    return ::testing::AssertionSuccess();
}

bool CaiclientSession::Changed(const std::string& change) const {
    return std::find(changes.begin(), changes.end(), change) != changes.end();
}
