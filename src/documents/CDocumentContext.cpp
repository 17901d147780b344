#include "CDocumentContext.h"
#include "host/CHostSession.h"

HRESULT CDocumentContext::Connect(int start, int useLastProfile, int checkBusy, ComPtr<IVectaDocument>* activeDocument) {
    return host.ConnectApplication(start, useLastProfile, checkBusy, application, activeDocument);
}
