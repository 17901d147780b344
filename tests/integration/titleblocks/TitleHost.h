#pragma once
#include "fakes/CSimProcess.h"
#include <string>

// The host of the title tests: VectaSim with "Bracket.vdr" written afresh in the work
// folder, a control file and a call trace beside it.
namespace title_test {

std::wstring DrawingPath();
std::wstring TracePath();
// Starts the simulator under the profile; the trace of an earlier host is removed first.
[[nodiscard]] HRESULT StartTitleHost(CSimProcess& sim, const std::wstring& profile, const std::string& control);

}  // namespace title_test
