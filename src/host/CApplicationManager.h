#pragma once
#include "support/ComPtr.h"
#include <vecta.h>
#include <string>

// Finds the one running Vecta instance with the profile the client requires, starting it
// through the client when asked, for one connection. Lives on the caller's stack.
class CApplicationManager {
public:
    CApplicationManager();
    CApplicationManager(const CApplicationManager&) = delete;
    CApplicationManager& operator=(const CApplicationManager&) = delete;
    virtual ~CApplicationManager();

    // object must be empty on entry; on success it holds the host's application object.
    HRESULT LocateApplication(ComPtr<IUnknown>& object, int start, int useLastProfile);
    // 1 when the host stays busy and the user does not let its command be cancelled. Given
    // activeDocument, the host's active drawing is kept there rather than released.
    int IsBusy(IVectaApplication* application, ComPtr<IVectaDocument>* activeDocument = nullptr);
    // 1 when the registrar add-in is registered for demand loading at the end.
    int CheckVectaAppRegistrar();

    // This connection asked for the start of the host it found, or found it while an earlier
    // search's start was under way: it closes the host's start-up drawings.
    bool FoundStarting() const noexcept { return m_foundStarting; }

private:
    std::wstring m_displayName;
    long m_activeCommandWait;
    int m_started = 0;
    bool m_foundStarting = false;
    std::wstring m_applicationName;
    long m_startupWait;  // the client's value when this connection began
};
