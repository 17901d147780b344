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

HRESULT CCAI_Call::PublishPSX(const std::wstring&) { return NotBuilt(L"PublishPSX"); }
