#include "CKeyMaintenance.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "support/CCommandLine.h"
#include "support/COutsideValue.h"
#include "support/CUtils.h"

HRESULT CKeyMaintenance::ChangeQelkey(const std::wstring& oldKey, const std::wstring& newKey) const {
    if (oldKey.empty()) {
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ChangeQelkey: Old QELKEY is empty");
        return E_FAIL;
    }
    // A blank in Vecta's command line acts as Enter: a key holding one would type a command.
    const std::optional<CQelKey> from = COutsideValue::Key(L"ChangeQelkey", oldKey);
    const std::optional<CQelKey> to = from ? COutsideValue::Key(L"ChangeQelkey", newKey) : std::nullopt;
    if (!to) return E_FAIL;
    return m_context.sendCommand(CCommandLine(L"QELDChangeTitleKey ") + *from + L" " + *to + L" ", 1);
}

HRESULT CKeyMaintenance::UpdateDLQelkeys(IVectaDocument* document) const {
    if (!m_context.application || !document) return E_FAIL;
    CUtils& utils = CUtils::Instance();

    // An unreadable flag counts as read-only: a drawing we may not write is never touched. The
    // query's result decides, not the flag: across processes a failed call still hands back
    // whatever the host left in it.
    VARIANT_BOOL readOnly = VARIANT_TRUE;
    HRESULT hr = document->get_ReadOnly(&readOnly);
    if (FAILED(hr) || readOnly != VARIANT_FALSE) {
        utils.WriteLog(CUtils::LevelInfo,
                       L"UpdateDLQelkeys: Don't update QELKEYs for DLs because document is opened read-only.");
        return hr;
    }

    const std::wstring drawingKey = m_context.document.GetContainerKey();
    // A refused key says so itself; its old key is not empty, it is not asked for.
    if (!COutsideValue::Key(L"UpdateDLQelkeys", drawingKey)) return hr;
    if (m_context.session.GetOldDocumentKey(drawingKey).empty()) {
        utils.WriteLog(CUtils::LevelInfo,
                       L"UpdateDLQelkeys: Don't update QELKEYs for DLs because OLD_DOC_QELKEY is empty.");
        return hr;
    }
    utils.WriteLog(CUtils::LevelInfo, L"UpdateDLQelkeys: Update QELKEYs for DLs ...");

    // Items "old new|", the most recently collected first; text after the last "|" is incomplete.
    std::wstring rest = m_context.session.GetQelKeyPairList(drawingKey);
    bool changed = false;
    for (size_t bar = rest.find(L'|'); bar != std::wstring::npos; bar = rest.find(L'|')) {
        const std::wstring item = rest.substr(0, bar);
        rest.erase(0, bar + 1);
        if (item.empty()) continue;
        const size_t blank = item.find(L' ');
        const std::wstring oldKey = blank == std::wstring::npos ? std::wstring() : item.substr(0, blank);
        const std::wstring newKey = blank == std::wstring::npos ? item : item.substr(blank + 1);
        utils.WriteLog(CUtils::LevelInfo, L"UpdateDLQelkeys: Replace QELKEY of DL %s with QELKEY %s", oldKey, newKey);
        hr = ChangeQelkey(oldKey, newKey);
        if (SUCCEEDED(hr)) {
            changed = true;
            m_context.session.ClearOldDocumentKey(newKey);
        }
    }
    if (changed) hr = document->Save();
    m_context.session.ClearOldDocumentKey(drawingKey);
    return hr;
}
