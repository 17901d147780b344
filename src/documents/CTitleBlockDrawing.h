#pragma once
#include "support/ComPtr.h"
#include <vecta.h>
#include <string>

// The drawing a title operation works on: the host's active document right after the open.
// The PDM add-in commands go straight to it, not through the managed-document check of the
// command sending, because the open has just made it a PDM drawing. Entries name the
// operation that owns the drawing.
class CTitleBlockDrawing {
public:
    explicit CTitleBlockDrawing(std::wstring operation) : m_operation(std::move(operation)) {}

    // Takes the host's active document; a host that answers none is a failure.
    [[nodiscard]] HRESULT Attach(IVectaApplication* application);
    // Runs the add-in command line "<command> ".
    [[nodiscard]] HRESULT Send(const std::wstring& command);
    // A refused save loses the add-in's changes, so it is logged and answered.
    [[nodiscard]] HRESULT Save();
    // Closes without saving. A drawing that stays open gets an empty command line; the
    // failure is written only when the client's log level is exactly 1.
    void Close();

private:
    std::wstring m_operation;
    ComPtr<IVectaDocument> m_document;
};
