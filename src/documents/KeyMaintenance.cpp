#include "CKeyMaintenance.h"
#include "component/CCAI_Call.h"

HRESULT CCAI_Call::ChangeQelkey(const std::wstring& oldKey, const std::wstring& newKey) {
    return CKeyMaintenance(DocumentContext()).ChangeQelkey(oldKey, newKey);
}
