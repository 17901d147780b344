#pragma once
#include "fakes/CSimProcess.h"
#include "fakes/DocumentFixture.h"
#include <string>

// Document operations against a real VectaSim: the simulator's type libraries and moniker
// classes are registered once per suite (the prefix is shared, nothing is inherited), each
// test starts its own simulator with a control file and a trace in the working folder.
class SimDocumentTest : public DocumentFixture {
protected:
    static void SetUpTestSuite();

    // Starts VectaSim under a profile of its own with "<name>.json" (holding control) and
    // "<name>.trace".
    void StartSim(const std::wstring& name, const std::string& control = "{}", const std::wstring& extra = L"");
    // The context on the simulator; command lines go to its active drawing.
    CDocumentContext SimContext();
    std::wstring Drawing(const std::wstring& name, const std::string& content);
    std::string Trace() const;
    long DocumentCount() const;

    static std::wstring InWorkFolder(const std::wstring& file);
    static std::string ReadAll(const std::wstring& path);
    static void WriteAll(const std::wstring& path, const std::string& text);

    CSimProcess sim;
    std::wstring tracePath;
};
