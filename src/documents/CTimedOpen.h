#pragma once
#include "CDocumentContext.h"
#include "runtime/CHostCallApartment.h"
#include <windows.h>
#include <string>

// Opens a drawing read-write with a time limit, so that a host hanging in its open cannot
// hold an unattended caller for ever. It runs in an apartment of the component's, on the
// host reference of that apartment: at the limit the command gives the apartment up, and
// the open returns at once when the host finally answers, its result never looked at.
class CTimedOpen {
public:
    static constexpr DWORD kTimeLimit = CDocumentContext::kOpenTimeLimit;

    // context: the apartment's own host reference, client and document properties.
    CTimedOpen(const CDocumentContext& context, CHostCallApartment::Job& job) noexcept : m_context(context), m_job(job) {}

    // On success document holds the host's active document, initialised for the PDM system.
    // HR_TIMEOUT when the command gave up meanwhile.
    [[nodiscard]] HRESULT Open(const std::wstring& path, IVectaDocument** document) const;

private:
    // The host's open itself, the limited step: the HRESULT of its last host call; opened
    // tells whether the host handed back a document.
    HRESULT ThreadOpenDoc(const std::wstring& path, bool& opened) const;

    const CDocumentContext& m_context;
    CHostCallApartment::Job& m_job;
};
