#include "CCommandProcessor.h"
#include "CSimDocument.h"
#include "CSimHost.h"
#include "CTextFile.h"
#include <cwctype>
#include <map>

namespace {

std::vector<std::wstring> SplitWords(const std::wstring& line) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : line) {
        if (std::iswspace(c)) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::wstring Upper(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

}  // namespace

HRESULT CCommandProcessor::Run(const std::wstring& line) {
    using Handler = HRESULT (CCommandProcessor::*)(const Words&);
    static const std::map<std::wstring, Handler> commands = {
        {L"QELDSHOWTITLE", &CCommandProcessor::ShowTitle},
        {L"QELDCHANGETITLEKEY", &CCommandProcessor::ChangeTitleKey},
        {L"QELDUPDATEALLTITLEBLOCKS", &CCommandProcessor::UpdateTitleBlocks},
        {L"QELDSYNCPARTDATA", &CCommandProcessor::SyncPartData},
        {L"QELDIMPORTTITLEATTRIBS", &CCommandProcessor::ImportTitleAttributes},
        {L"_MXPARTONLY", &CCommandProcessor::PartOnly},
        {L"VSIMBUSY", &CCommandProcessor::Busy}};

    const size_t first = line.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return S_OK;
    const size_t last = line.find_last_not_of(L" \t\r\n");
    const std::wstring trimmed = line.substr(first, last - first + 1);

    HRESULT hr = S_OK;
    if (trimmed[0] == L'(') {
        hr = LoadLisp(trimmed);
    } else {
        const Words words = SplitWords(trimmed);
        const auto command = commands.find(Upper(words[0]));
        hr = command == commands.end() ? S_OK : (this->*command->second)(words);
        m_host.Trace().Record(L"Command", command == commands.end() ? L"Unknown" : L"Run",
                              {CTrace::Text(trimmed)}, hr);
    }
    if (m_host.Faults().commandBusyMs) m_host.SetBusy(m_host.Faults().commandBusyMs);
    return hr;
}

HRESULT CCommandProcessor::ShowTitle(const Words& words) { return words.size() == 2 ? S_OK : E_INVALIDARG; }

HRESULT CCommandProcessor::ChangeTitleKey(const Words& words) {
    if (words.size() != 3) return E_INVALIDARG;
    if (m_document.Drawing().ReplaceKey(words[1], words[2]) > 0) m_document.MarkChanged();
    return S_OK;
}

HRESULT CCommandProcessor::UpdateTitleBlocks(const Words&) {
    RefreshFields(L"TITLE.");
    return S_OK;
}

HRESULT CCommandProcessor::SyncPartData(const Words&) {
    RefreshFields(L"PART.");
    return S_OK;
}

HRESULT CCommandProcessor::ImportTitleAttributes(const Words&) {
    const std::wstring outcome = m_host.Faults().importOutcome;
    if (outcome == L"0") RefreshFields(L"TITLE.");
    m_host.ReportOutcome(outcome);
    return S_OK;
}

HRESULT CCommandProcessor::PartOnly(const Words&) {
    m_host.partFileNext = true;
    return S_OK;
}

HRESULT CCommandProcessor::Busy(const Words& words) {
    if (words.size() != 2) return E_INVALIDARG;
    m_host.SetBusy(static_cast<DWORD>(wcstoul(words[1].c_str(), nullptr, 10)));
    return S_OK;
}

HRESULT CCommandProcessor::LoadLisp(const std::wstring& line) {
    // (load "<path>"): the host appends ".lsp" when the name has no extension.
    const size_t open = line.find(L'"');
    const size_t close = open == std::wstring::npos ? open : line.find(L'"', open + 1);
    if (line.rfind(L"(load", 0) != 0 || close == std::wstring::npos) {
        m_host.Trace().Record(L"Command", L"Unknown", {CTrace::Text(line)}, S_OK);
        return S_OK;
    }
    std::wstring path = line.substr(open + 1, close - open - 1);
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) path += L".lsp";
    const bool found = CTextFile::Exists(path);
    m_host.Trace().Record(L"Command", L"LoadLisp", {CTrace::Text(path), found ? L"found" : L"missing"}, S_OK);
    return S_OK;
}

void CCommandProcessor::RefreshFields(const std::wstring& prefix) {
    bool changed = false;
    for (const auto& name : m_document.Drawing().Names(prefix)) {
        const std::wstring value = m_host.Evaluate(L"#(" + name.substr(prefix.size()) + L")");
        if (!value.empty()) changed = m_document.Drawing().Set(name, value) || changed;
    }
    if (changed) m_document.MarkChanged();
}
