// Command lines to the host's active drawing, and quitting the host.
#include "component/CCAI_Call.h"
#include "client/CVantorApplication.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"

HRESULT CCAI_Call::SendCommand(const std::wstring& commandLine, int checkManagedDocument) {
    CUtils& utils = CUtils::Instance();
    if (!m_application) RETURN_IF_FAILED(ConnectApplication(0, 1, 1));

    ComPtr<IVectaDocument> document;
    HRESULT hr = m_application->get_ActiveDocument(document.put());
    if (SUCCEEDED(hr) && !document) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"SendCommand: Can't send command. There is no active document");
        return hr;
    }

    CVantorApplication& session = CVantorApplication::Instance();
    if (checkManagedDocument != 0 && !session.IsJobServer()) {
        UniqueBstr folder, name;
        (void)document->get_Path(folder.put());
        (void)document->get_Name(name.put());
        if (m_document.GetQelkeyFromPath(folder.str() + L"\\" + name.str()).empty()) {
            utils.ShowMessage(session.GetUserMessage(L"VX16014", false), MB_OK);
            return S_OK;
        }
    }

    UniqueBstr text(commandLine);
    hr = document->SendCommand(text.get());
    if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"SendCommand: Failed to send command (hr = %X)", hr);
    return hr;
}

HRESULT CCAI_Call::QuitVecta() {
    if (!m_application) RETURN_IF_FAILED(ConnectApplication(0, 1, 1));

    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocument> document;
    const HRESULT hr = m_application->get_ActiveDocument(document.put());
    if (FAILED(hr) || !document) {
        const HRESULT quit = m_application->Quit();
        if (FAILED(quit)) utils.WriteLog(CUtils::LevelError, L"QuitVecta: Failed to quit Vecta (hr = %X)", quit);
        return quit;
    }
    utils.WriteLog(CUtils::LevelInfo, L"QuitVecta: Don't quit Vecta, because there is still an active document");
    return hr;
}
