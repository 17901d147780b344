#include "FakeVectaDocument.h"
#include "FakeVectaHost.h"
#include "host/CVectaArgument.h"

namespace {
std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
}  // namespace

FakeVectaDocument::FakeVectaDocument(FakeVectaHost& host, const std::wstring& fullName, bool readOnly, int number)
    : fullName(fullName), readOnly(readOnly ? VARIANT_TRUE : VARIANT_FALSE), m_host(host) {
    const size_t slash = fullName.find_last_of(L"\\/");
    name = fullName.empty() ? L"Drawing" + std::to_wstring(number) + L".dwg" : fullName.substr(slash + 1);
}

std::wstring FakeVectaDocument::Describe(const VARIANT& value) {
    if (CVectaArgument::IsMissing(value)) return L"missing";
    if (V_VT(&value) == VT_I4) return L"i4:" + std::to_wstring(V_I4(&value));
    if (V_VT(&value) == VT_BSTR) return L"\"" + Text(V_BSTR(&value)) + L"\"";
    return L"vt:" + std::to_wstring(V_VT(&value));
}

HRESULT FakeVectaDocument::get_FullName(BSTR* value) {
    *value = SysAllocString(fullName.c_str());
    return fullNameResult;
}
HRESULT FakeVectaDocument::get_Name(BSTR* value) {
    *value = SysAllocString(name.c_str());
    return S_OK;
}
HRESULT FakeVectaDocument::get_Path(BSTR* value) {
    *value = SysAllocString(fullName.substr(0, fullName.size() - name.size()).c_str());
    return S_OK;
}
HRESULT FakeVectaDocument::get_ReadOnly(VARIANT_BOOL* value) {
    if (FAILED(readOnlyResult)) return readOnlyResult;
    *value = readOnly;
    return S_OK;
}
HRESULT FakeVectaDocument::get_Saved(VARIANT_BOOL* value) {
    *value = VARIANT_TRUE;
    return S_OK;
}
HRESULT FakeVectaDocument::Save() {
    m_host.journal.push_back(L"Save(" + name + L")");
    return m_host.saveResult;
}
HRESULT FakeVectaDocument::SaveAs(BSTR fileName, VARIANT fileType, VARIANT security) {
    m_host.journal.push_back(L"SaveAs(" + name + L", \"" + Text(fileName) + L"\", " + Describe(fileType) + L", " +
                             Describe(security) + L")");
    return m_host.saveAsResult;
}
HRESULT FakeVectaDocument::Activate() {
    m_host.journal.push_back(L"Activate(" + name + L")");
    m_host.active = this;
    return S_OK;
}
HRESULT FakeVectaDocument::Close(VARIANT saveChanges, VARIANT fileName) {
    m_host.journal.push_back(L"Close(" + name + L", " + Describe(saveChanges) + L", " + Describe(fileName) + L")");
    m_host.Remove(this);
    return S_OK;
}
HRESULT FakeVectaDocument::SendCommand(BSTR command) {
    m_host.journal.push_back(L"SendCommand(" + name + L", \"" + Text(command) + L"\")");
    return S_OK;
}
