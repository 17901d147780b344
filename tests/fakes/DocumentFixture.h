#pragma once
#include "ComponentTest.h"
#include "FakeCallback.h"
#include "FakeVectaHost.h"
#include "client/CVantorDocument.h"
#include "documents/CDocumentContext.h"
#include "host/CHostSession.h"
#include "support/ComPtr.h"
#include <string>
#include <utility>
#include <vector>

// The document operations against the in-process Vecta and the fake client: the session
// and a document-properties object share the client, the log is at Info level, and the
// command sending of the context records each command line and types it into the host's
// active drawing.
class DocumentFixture : public ComponentTest {
protected:
    DocumentFixture();
    ~DocumentFixture() override;

    CDocumentContext Context();
    // The log without the client's own Prepare and Call entries.
    std::vector<std::wstring> Log() const;

    ComPtr<FakeCallback> client;
    CVantorDocument properties;
    CHostSession hostSession{properties};  // the object's session; connects only where a test lets it
    FakeVectaHost host;
    std::vector<std::pair<std::wstring, int>> sent;  // command line and check flag
    HRESULT sendResult = S_OK;
};
