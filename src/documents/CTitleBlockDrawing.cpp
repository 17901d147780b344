#include "CTitleBlockDrawing.h"
#include "client/CVantorApplication.h"
#include "host/CVectaArgument.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"

HRESULT CTitleBlockDrawing::Attach(IVectaApplication* application) {
    if (!application) return E_POINTER;
    RETURN_IF_FAILED(application->get_ActiveDocument(m_document.put()));
    return m_document ? S_OK : E_POINTER;
}

HRESULT CTitleBlockDrawing::Send(const std::wstring& command) {
    CUtils& utils = CUtils::Instance();
    utils.WriteLog(CUtils::LevelInfo, L"SendCommand: Send command %s", command);
    UniqueBstr line(command + L" ");
    const HRESULT hr = m_document->SendCommand(line.get());
    if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"%s: Failed to send command (hr = %X)", m_operation, hr);
    return hr;
}

HRESULT CTitleBlockDrawing::Save() {
    const HRESULT hr = m_document->Save();
    if (FAILED(hr)) {
        CUtils::Instance().WriteLog(CUtils::LevelError, L"%s: Failed to save document (hr = %X)", m_operation, hr);
        return hr;
    }
    return S_OK;
}

void CTitleBlockDrawing::Close() {
    const HRESULT hr = m_document->Close(CVectaArgument::Index(0), CVectaArgument::Missing());
    if (SUCCEEDED(hr)) return;
    UniqueBstr empty(L"");
    (void)m_document->SendCommand(empty.get());
    if (CVantorApplication::Instance().GetLogLevel() == 1)
        CUtils::Instance().WriteLog(CUtils::LevelInfo, L"%s: Failed to close document (hr = %X)", m_operation, hr);
}
