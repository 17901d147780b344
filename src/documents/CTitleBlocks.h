#pragma once
#include "CDocumentContext.h"
#include <string>

// The title commands: the PDM add-in inside the host updates a drawing's title blocks or
// imports its title attributes; these commands open the drawing, run the add-in's commands,
// then save and close it.
class CTitleBlocks {
public:
    [[nodiscard]] static HRESULT UpdateAllTitleblocks(CDocumentContext& context, const std::wstring& path);
    // outcome: the import's result code for the client, -1 when it was not decided.
    static HRESULT QELDImportTitleAttributes(CDocumentContext& context, const std::wstring& path, LONG& outcome);
};
