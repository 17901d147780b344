#pragma once
#include "CDocumentContext.h"
#include "support/ComPtr.h"
#include <string>

// Brings a drawing up in the connected host: re-uses an open document of the same path and
// read-only state or opens the file, then sets it up for the PDM system.
class COpenDocument {
public:
    explicit COpenDocument(const CDocumentContext& context) noexcept : m_context(context) {}

    // The command: connects to the host (starting it when needed), then opens.
    [[nodiscard]] static HRESULT OpenDocument(CDocumentContext& context, const std::wstring& path, int readOnly);

    // The open once the host is connected; readOnly is 1 for read-only, 0 for read-write.
    [[nodiscard]] HRESULT Open(const std::wstring& path, int readOnly) const;

    // The first open document whose full name equals path ignoring case, in the requested
    // read-only state; found stays empty when there is none. Fails with the count's or a
    // flag's failure, which ends the search.
    [[nodiscard]] static HRESULT FindOpenDocument(IVectaDocuments* documents, const std::wstring& path, int readOnly,
                                                  ComPtr<IVectaDocument>& found);

private:
    const CDocumentContext& m_context;
};
