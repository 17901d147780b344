#pragma once
#include "CDocumentContext.h"
#include <string>

// Prepares an opened or new drawing for the PDM system: hands the client's callback and
// the document symbols to the PDM add-in inside Vecta and loads the LISP start-up file.
class CDocumentSetup {
public:
    // The add-in's program identifier for a host version string.
    static const wchar_t* AddInProgId(const std::wstring& hostVersion);
    [[nodiscard]] static HRESULT InitDocument(const CDocumentContext& context, IVectaDocument* document);
};
