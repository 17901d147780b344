// Connecting a CAI_Call object to the Vecta host: the search, the host window, the busy
// check and the session set-up, and the two commands that only connect.
#include "CApplicationManager.h"
#include "component/CCAI_Call.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"

HRESULT CCAI_Call::ConnectApplication(int start, int useLastProfile, int checkBusy,
                                      ComPtr<IVectaDocument>* activeDocument) {
    try {
        CApplicationManager manager;
        ComPtr<IUnknown> object;
        const HRESULT located = manager.LocateApplication(object, start, useLastProfile);
        if (FAILED(located)) return located;

        ComPtr<IVectaApplication> application;
        if (object) (void)object.query(application);
        m_application = std::move(application);
        if (!m_application) return E_NOINTERFACE;

        BringHostWindowForward();
        if (checkBusy == 1 && manager.IsBusy(m_application.get(), activeDocument) == 1) return E_FAIL;
        if (start == 1) (void)InitApplication();
        if (manager.Started()) {
            if (activeDocument) activeDocument->reset();  // no reference of ours outlives their close
            (void)CloseStartUpDrawings();
        }
        return located;
    } catch (...) {
        const HRESULT hr = HResultFromCaught();
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ConnectApplication: Unexpected failure (hr = %X)", hr);
        return hr;
    }
}

void CCAI_Call::BringHostWindowForward() {
    long handle = 0;
    const HRESULT hr = m_application->get_HWND(&handle);
    if (FAILED(hr)) {
        // The connection stands; only the window stays where it is.
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ConnectApplication: Can't read Vecta's main window (hr = %X)", hr);
        return;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(handle));
    if (!window) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

HRESULT CCAI_Call::RestoreApplication() {
    if (m_application) return S_OK;
    const HRESULT hr = ConnectApplication(0, 1, 0);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CCAI_Call::IsAvailableForPublishPSX(LONG& result) {
    result = 0;
    const HRESULT connected = ConnectApplication(0, 0, 0);
    if (FAILED(connected)) return S_OK;

    ComPtr<IVectaDocuments> documents;
    long count = -1;
    HRESULT hr = m_application->get_Documents(documents.put());
    if (SUCCEEDED(hr) && documents) hr = documents->get_Count(&count);
    if (FAILED(hr) || !documents || count != 0) {
        result = 1;
        CUtils::Instance().WriteLog(
            CUtils::LevelError,
            L"IsAvailableForPublishPSX: Application is already running and a document is opened. Don't create PSX file");
    }
    return connected;
}
