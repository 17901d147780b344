#pragma once
#include "CCallback.h"
#include "CClientCommands.h"
#include "CConsoleUser.h"
#include "CExpressionEvaluator.h"
#include "CWorkspace.h"
#include "fakes/TempFolder.h"
#include <sstream>
#include <string>

// caiclient's parts wired as the program wires them, with the console on string streams, for
// the in-process tests. The test owns the folder; the callback exists after CreateCallback.
class ClientParts {
protected:
    ClientParts() = default;
    ~ClientParts();

    // The sample database of SampleWorkspace.h, its folders created under the root, read as if
    // from the file given (relative to the root) or, with write, written there and loaded.
    void LoadSample(const TempFolder& root, const std::wstring& file = L"ws\\workspace.json", bool write = false);
    void LoadJson(const std::string& json, const std::wstring& path);
    void CreateCallback();
    void ReleaseCallback();

    CWorkspace workspace;
    CExpressionEvaluator evaluator{workspace};
    std::istringstream in;
    std::ostringstream out, err;
    CConsoleUser user{in, out, err};
    CClientCommands commands{workspace, evaluator, user};
    ComPtr<ICAICallback> callback;
};
