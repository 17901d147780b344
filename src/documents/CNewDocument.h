#pragma once
#include "CDocumentContext.h"
#include <functional>
#include <string>

// Creates a drawing from a template and saves it at once under the name the PDM client
// chose. The template is settled before the host is connected, so that a cancelled choice
// never starts a host.
class CNewDocument {
public:
    // The host profile's own template folder, asked for only when needed.
    using HostTemplateFolder = std::function<std::wstring()>;

    // The command: settles the template, connects to the host (starting it when needed) and
    // creates the drawing.
    [[nodiscard]] static HRESULT NewDocument(CDocumentContext& context, const std::wstring& documentPath);

    // Fails at once without a file name, when the user cancels the template dialog, and in
    // quiet mode when the template cannot be read (no dialog is shown then).
    [[nodiscard]] static HRESULT ChooseTemplate(CVantorApplication& session, const CVantorDocument& document,
                                                const std::wstring& fileName, const HostTemplateFolder& hostTemplateFolder,
                                                std::wstring& templatePath);
    // Adds the drawing in the connected host, sets it up and saves it as fileName.
    [[nodiscard]] static HRESULT Create(const CDocumentContext& context, const std::wstring& fileName,
                                        const std::wstring& templatePath);
};
