#pragma once
#include "support/CCommandLine.h"
#include "support/ComPtr.h"
#include <vecta.h>
#include <functional>
#include <string>

class CHostSession;
class CVantorApplication;
class CVantorDocument;

// Everything a document command works with, for one command: the object's host session (to
// connect, for the template folder and for parking), this command's own host reference, the
// client session, the document properties, the command sending and the open's time limit.
// The command owns its host reference: a nested Run that reconnects the session replaces the
// session's reference, never this one.
struct CDocumentContext {
    using CommandSender = std::function<HRESULT(const CCommandLine& commandLine, int checkManagedDocument)>;
    static constexpr DWORD kOpenTimeLimit = 120000;

    CHostSession& host;
    ComPtr<IVectaApplication> application;  // the session's when the command began; replaced when it connects
    CVantorApplication& session;
    const CVantorDocument& document;
    CommandSender sendCommand;
    DWORD openTimeLimit = kOpenTimeLimit;  // tests shorten it; the shipped path never does

    // Connects through the session and keeps the connection's reference as this command's own.
    [[nodiscard]] HRESULT Connect(int start, int useLastProfile, int checkBusy,
                                  ComPtr<IVectaDocument>* activeDocument = nullptr);
};
