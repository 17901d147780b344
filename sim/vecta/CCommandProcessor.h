#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CSimHost;
class CSimDocument;

// Runs one completed command line of a drawing: the PDM add-in commands, LISP loads and the
// simulator's own VSIMBUSY (README.md).
class CCommandProcessor {
public:
    CCommandProcessor(CSimHost& host, CSimDocument& document) noexcept : m_host(host), m_document(document) {}

    [[nodiscard]] HRESULT Run(const std::wstring& line);

private:
    using Words = std::vector<std::wstring>;
    HRESULT ShowTitle(const Words& words);
    HRESULT ChangeTitleKey(const Words& words);
    HRESULT UpdateTitleBlocks(const Words& words);
    HRESULT SyncPartData(const Words& words);
    HRESULT ImportTitleAttributes(const Words& words);
    HRESULT PartOnly(const Words& words);
    HRESULT Busy(const Words& words);
    HRESULT LoadLisp(const std::wstring& line);
    // Sets every field with the prefix to the client's answer for its name.
    void RefreshFields(const std::wstring& prefix);

    CSimHost& m_host;
    CSimDocument& m_document;
};
