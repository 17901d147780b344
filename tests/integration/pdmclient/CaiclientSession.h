#pragma once
#include "CaiclientRun.h"
#include "fakes/TempFolder.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

// End-to-end fixture: the real component, moniker provider and VectaSim registered in the
// prefix (other tests of the run may have unregistered them), a workspace folder "ws" in the
// test folder, and caiclient.exe run there on a script.
class CaiclientSession : public testing::Test {
protected:
    static void SetUpTestSuite();

    // Writes the workspace and the script into the workspace folder, runs the script there with
    // the options (caiclient's own questions find no input and take their default answer) and
    // records which files of the folder the run created, changed or removed.
    CaiclientRun RunScript(const std::string& workspaceJson, const std::string& script,
                           const std::wstring& options = L"");
    std::wstring Workspace() const { return root.File(L"ws"); }
    std::vector<std::string> LogMessages() const;
    bool Logged(const std::string& message) const;
    // True when the messages hold these, in this order (others may come between).
    ::testing::AssertionResult LoggedInOrder(const std::vector<std::string>& expected) const;
    // The same for parts of what caiclient printed.
    static ::testing::AssertionResult PrintedInOrder(const CaiclientRun& run, const std::vector<std::string>& expected);
    // The last run created, changed or removed this ("new NAME", "changed NAME", "removed NAME").
    bool Changed(const std::string& change) const;

    TempFolder root;
    std::vector<std::string> changes;  // by the last run, relative to the workspace folder
};
