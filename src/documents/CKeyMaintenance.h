#pragma once
#include "CDocumentContext.h"
#include <string>

// Keeps the database keys carried by a drawing in step with the PDM database: replaces the
// old keys of its references and clears the old keys the database still records.
class CKeyMaintenance {
public:
    explicit CKeyMaintenance(const CDocumentContext& context) noexcept : m_context(context) {}

    // Has the PDM add-in in Vecta replace oldKey by newKey in the active drawing. An empty
    // old key, and a key that is no identifier, are refused with an Error entry.
    [[nodiscard]] HRESULT ChangeQelkey(const std::wstring& oldKey, const std::wstring& newKey) const;
    // Brings a freshly opened drawing's reference keys up to date and saves it when one changed.
    [[nodiscard]] HRESULT UpdateDLQelkeys(IVectaDocument* document) const;

private:
    const CDocumentContext& m_context;
};
