#pragma once
#include <string>

class CSimHost;
class CSimDocument;

// The PDM add-in's publishing: on save or close of a drawing whose symbol
// "PublishPSXFromCAI" is "1" it writes the PSX file and reports "ZEPErrorCode".
class CSimPublisher {
public:
    CSimPublisher(CSimHost& host, CSimDocument& document) noexcept : m_host(host), m_document(document) {}

    void PublishIfAsked();

private:
    std::wstring Write(const std::wstring& psxPath);

    CSimHost& m_host;
    CSimDocument& m_document;
};
