#include "TitleHost.h"
#include "VectaTestSupport.h"

namespace title_test {

std::wstring DrawingPath() { return vecta_test::InWorkFolder(L"Bracket.vdr"); }

std::wstring TracePath() { return vecta_test::InWorkFolder(L"trace.txt"); }

HRESULT StartTitleHost(CSimProcess& sim, const std::wstring& profile, const std::string& control) {
    const std::wstring controlFile = vecta_test::InWorkFolder(L"control.json");
    DeleteFileW(TracePath().c_str());
    vecta_test::WriteAll(DrawingPath(), vecta_test::kDrawing);
    vecta_test::WriteAll(controlFile, control);
    return sim.Start(profile, L"R17", L"/control \"" + controlFile + L"\" /trace \"" + TracePath() + L"\"");
}

}  // namespace title_test
