#include "CFaults.h"
#include "CTextFile.h"
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

std::wstring TextOf(const json& value, const std::wstring& fallback) {
    if (value.is_string()) return CTextFile::FromUtf8(value.get<std::string>());
    if (value.is_number_integer()) return std::to_wstring(value.get<long long>());
    return fallback;
}

// An HRESULT written as a number or as "0x…" text.
HRESULT HresultOf(const json& value) {
    if (value.is_number_integer()) return static_cast<HRESULT>(value.get<long long>());
    if (value.is_string()) return static_cast<HRESULT>(std::stoul(value.get<std::string>(), nullptr, 0));
    return S_OK;
}

}  // namespace

void CFaults::Refresh() {
    if (m_path.empty()) return;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool present = GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data) != 0;
    const ULONGLONG size = present ? (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow : ~0ULL - 1;
    if (present && size == m_size && CompareFileTime(&data.ftLastWriteTime, &m_stamp) == 0) return;
    if (!present && size == m_size) return;
    m_size = size;
    m_stamp = data.ftLastWriteTime;
    std::wstring text;
    Load(present && CTextFile::Read(m_path, text) ? text : L"{}");
}

void CFaults::Load(const std::wstring& text) {
    const FILETIME stamp = m_stamp;
    const ULONGLONG size = m_size;
    *this = CFaults(std::move(m_path));
    m_stamp = stamp;
    m_size = size;
    const json doc = json::parse(CTextFile::ToUtf8(text), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return;
    try {
        openFails = HresultOf(doc.value("openFails", json()));
        openHangMs = doc.value("openHangMs", 0u);
        saveFails = doc.value("saveFails", false);
        saveBackup = doc.value("saveBackup", false);
        closeFails = doc.value("closeFails", false);
        hwndFails = doc.value("hwndFails", false);
        addIn = TextOf(doc.value("addIn", json()), addIn);
        importOutcome = TextOf(doc.value("importOutcome", json()), importOutcome);
        publishOutcome = TextOf(doc.value("publishOutcome", json()), publishOutcome);
        commandBusyMs = doc.value("commandBusyMs", 0u);
        if (const auto failing = doc.find("fails"); failing != doc.end() && failing->is_object())
            for (const auto& [call, failure] : failing->items()) fails[CTextFile::FromUtf8(call)] = HresultOf(failure);
        addReturnsNothing = doc.value("addReturnsNothing", false);
        rejectWhileBusy = doc.value("rejectWhileBusy", false);
        exitIn = TextOf(doc.value("exitIn", json()), exitIn);
        openNoDocument = doc.value("openNoDocument", false);
        openHold = doc.value("openHold", false);
    } catch (const std::exception&) {
        // A member of the wrong type leaves the values read so far.
    }
}

HRESULT CFaults::FailureOf(const std::wstring& object, const wchar_t* member) const {
    const auto it = fails.find(object + L"." + member);
    return it == fails.end() ? S_OK : it->second;
}
