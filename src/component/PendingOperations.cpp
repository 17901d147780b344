// Operations whose subsystems are not in this build yet. Each answers honestly with
// E_NOTIMPL and an Error entry naming itself, never with a pretended success.
#include "CCAI_Call.h"
#include "support/CUtils.h"

namespace {

HRESULT NotBuilt(const wchar_t* operation) {
    CUtils::Instance().WriteLog(CUtils::LevelError, L"%s: not available in this build (hr = %X)", operation, E_NOTIMPL);
    return E_NOTIMPL;
}

}  // namespace

HRESULT CCAI_Call::ConnectApplication(int, int, int) { return NotBuilt(L"ConnectApplication"); }
HRESULT CCAI_Call::OpenDocument(const std::wstring&, int) { return NotBuilt(L"OpenDocument"); }
HRESULT CCAI_Call::OpenDocumentWithTimeout(const std::wstring&, IVectaDocument**) {
    return NotBuilt(L"OpenDocumentWithTimeout");
}
HRESULT CCAI_Call::NewDocument(const std::wstring&) { return NotBuilt(L"NewDocument"); }
HRESULT CCAI_Call::RestoreApplication() { return NotBuilt(L"RestoreApplication"); }
HRESULT CCAI_Call::SendCommand(const std::wstring&, int) { return NotBuilt(L"SendCommand"); }
HRESULT CCAI_Call::PublishPSX(const std::wstring&) { return NotBuilt(L"PublishPSX"); }
HRESULT CCAI_Call::IsAvailableForPublishPSX(LONG&) { return NotBuilt(L"IsAvailableForPublishPSX"); }
HRESULT CCAI_Call::ChangeQelkey(const std::wstring&, const std::wstring&) { return NotBuilt(L"ChangeQelkey"); }
HRESULT CCAI_Call::QuitVecta() { return NotBuilt(L"QuitVecta"); }
