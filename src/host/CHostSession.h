#pragma once
#include "support/CCommandLine.h"
#include "support/ComPtr.h"
#include <vecta.h>
#include <string>

class CVantorDocument;

// One CAI_Call object's session with Vecta: the host reference held across Runs, and the
// operations on the host. An operation works on a reference of its own, taken from the
// session or from its connection, so a nested Run that reconnects (and may clear the held
// reference) never pulls a host from under an operation in progress. The held reference is
// replaced only by a connection that found a host.
class CHostSession {
public:
    // document: the object's document properties, for the managed-document check of commands.
    explicit CHostSession(const CVantorDocument& document) noexcept : m_document(document) {}
    CHostSession(const CHostSession&) = delete;
    CHostSession& operator=(const CHostSession&) = delete;

    // Finds (and with start 1 starts and prepares) the host; application receives this
    // connection's reference. Given activeDocument, the busy check's active drawing is kept
    // there for the caller.
    HRESULT ConnectApplication(int start, int useLastProfile, int checkBusy, ComPtr<IVectaApplication>& application,
                               ComPtr<IVectaDocument>* activeDocument = nullptr);
    HRESULT RestoreApplication();
    HRESULT SendCommand(const CCommandLine& commandLine, int checkManagedDocument);
    HRESULT QuitVecta();
    HRESULT IsAvailableForPublishPSX(LONG& result);
    // The drawing-template folder of the host's current profile; empty when not found.
    std::wstring GetHostTemplatePath();

    // The held reference (a copy: the caller's own), null when none.
    ComPtr<IVectaApplication> Application() const { return m_application; }
    // Drops the held reference when it is application, handing it to the caller (to let go
    // of it while the host still answers); empty otherwise.
    ComPtr<IVectaApplication> Forget(IVectaApplication* application) noexcept;
    // For tests and peers that set the held host directly.
    void Attach(IVectaApplication* application) { m_application = ComPtr<IVectaApplication>(application); }

private:
    HRESULT InitApplication(IVectaApplication* application);
    HRESULT CloseStartUpDrawings(IVectaApplication* application);
    static void BringHostWindowForward(IVectaApplication* application);
    // The held reference, connecting (without start, last profile, busy check) when none is held.
    HRESULT HeldOrConnected(ComPtr<IVectaApplication>& application);

    const CVantorDocument& m_document;
    ComPtr<IVectaApplication> m_application;
};
