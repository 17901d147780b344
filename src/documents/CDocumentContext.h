#pragma once
#include <vecta.h>
#include <functional>
#include <string>

class CVantorApplication;
class CVantorDocument;

// What the document operations borrow from their CAI_Call object for one call: the
// connected host (null when none), the client's settings and document properties, and the
// object's command sending. Nothing here is owned.
struct CDocumentContext {
    using CommandSender = std::function<HRESULT(const std::wstring& commandLine, int checkManagedDocument)>;

    IVectaApplication* application;
    CVantorApplication& session;
    const CVantorDocument& document;
    CommandSender sendCommand;
};
