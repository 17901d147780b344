#pragma once
#include "host/CVectaArgument.h"
#include "support/ComPtr.h"
#include "vecta.h"
#include <gtest/gtest.h>
#include <string>

// Small helpers shared by the VectaSim integration tests.
class CSimProcess;

namespace vecta_test {

// A profile no other test run uses, so that a leftover simulator never answers.
std::wstring UniqueProfile(const wchar_t* name);
std::wstring InWorkFolder(const std::wstring& file);
std::string ReadAll(const std::wstring& path);
void WriteAll(const std::wstring& path, const std::string& text);
VARIANT Text(BSTR text);
HRESULT OpenDrawing(IVectaApplication* app, const std::wstring& path, ComPtr<IVectaDocument>& document);
long DocumentCount(IVectaApplication* app);
// Starts a simulator on "<name>.json" as control file (written with control) and opens
// "<name>.vdr" (written with kDrawing) in it.
HRESULT StartWithDrawing(CSimProcess& sim, const std::wstring& name, const std::string& control,
                         ComPtr<IVectaDocument>& document);
// The PDM add-in object by ProgID with the client's callback handed to it.
HRESULT ConnectAddIn(IVectaApplication* app, const wchar_t* progId, ICAICallback* callback, ComPtr<IVntAddIn>& addIn);
// Waits until the file holds the text (VectaSim rereads a changed control file on the next call).
bool Contains(const std::wstring& path, const std::string& text);

inline constexpr char kDrawing[] =
    "VECTA DRAWING 1\nKEY=Q-1001\nREF=Q-2001\nTITLE.DESCRIPTION=Bracket\nTITLE.REVISION=A\nPART.MATERIAL=Steel\n";

// Registers the simulator's type libraries and the moniker classes once per suite: the Wine
// prefix is shared and no test may rely on another's registrations.
class RegisteredSim : public ::testing::Test {
protected:
    static void SetUpTestSuite();
};

}  // namespace vecta_test
