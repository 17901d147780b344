#pragma once
#include "CDocumentContext.h"
#include <objidl.h>
#include <windows.h>
#include <string>

// Opens a drawing read-write on a worker thread in its own single-threaded apartment and
// waits for it at most a time limit, so that a host hanging in its open cannot hold an
// unattended caller for ever. A worker still running at the limit is abandoned, never
// terminated: it keeps the module loaded while it runs, releases what it holds when the host
// finally answers and ends by itself; its results are never looked at.
class CTimedOpen {
public:
    static constexpr DWORD kTimeLimit = CDocumentContext::kOpenTimeLimit;

    CTimedOpen(const CDocumentContext& context, DWORD timeLimit) noexcept : m_context(context), m_timeLimit(timeLimit) {}

    // On success document holds the host's active document, initialised for the PDM system.
    [[nodiscard]] HRESULT Open(const std::wstring& path, IVectaDocument** document) const;

private:
    // Exit code: the HRESULT of the worker's last host call.
    static DWORD WINAPI ThreadOpenDoc(void* start) noexcept;

    const CDocumentContext& m_context;
    DWORD m_timeLimit;
};
