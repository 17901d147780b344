#pragma once
#include "CDocumentContext.h"
#include "runtime/CHostCallApartment.h"
#include <string>

// Publishing the PSX file of a drawing: the PDM add-in inside Vecta writes it when the
// drawing is closed, or, as a fallback, when a temporary copy is saved. A failure leaves a
// lock file that keeps the unchanged drawing from being tried again for a while.
class CPublishPSX {
public:
    explicit CPublishPSX(CDocumentContext& context) noexcept : m_context(context) {}

    [[nodiscard]] HRESULT PublishPSX(const std::wstring& path);

private:
    // One publication of the drawing at path; onClose 1 publishes on close, 0 on save, and
    // is set to 0 when the add-in asks for the fallback.
    HRESULT PublishPSXAttempt(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn, int& onClose);
    // The fallback attempt on a temporary copy in a folder of its own inside the workspace.
    HRESULT PublishPSXOnCopy(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn, int& onClose);

    CDocumentContext& m_context;
};
