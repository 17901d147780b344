#include "CSimPublisher.h"
#include "CSimDocument.h"
#include "CSimHost.h"
#include "CTextFile.h"

void CSimPublisher::PublishIfAsked() {
    if (m_document.Symbol(L"PublishPSXFromCAI") != L"1") return;
    const std::wstring psxPath = m_document.Symbol(L"PSXFilename");
    std::wstring outcome = m_host.Faults().publishOutcome;
    if (outcome == L"0") outcome = Write(psxPath);
    m_host.Trace().Record(L"AddIn", L"Publish", {CTrace::Text(psxPath), CTrace::Text(outcome)}, S_OK);
    m_host.ReportOutcome(outcome);
}

// The outcome: "0" written, "2" no file name, "3" the file could not be written.
std::wstring CSimPublisher::Write(const std::wstring& psxPath) {
    if (psxPath.empty()) return L"2";
    std::wstring text = L"VECTA PSX 1\nSOURCE=" + m_document.NameText() + L"\n";
    const CDrawing& drawing = m_document.Drawing();
    text += L"KEY=" + drawing.Value(L"KEY") + L"\n";
    for (const auto& name : drawing.Names(L"TITLE.")) text += name + L"=" + drawing.Value(name) + L"\n";
    return CTextFile::Write(psxPath, text) ? L"0" : L"3";
}
