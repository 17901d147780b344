#include "FakeAddIn.h"
#include "FakeVectaHost.h"
#include "support/InterfaceId.h"

namespace {
std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
}  // namespace

HRESULT FakeAddIn::QueryInterface(REFIID received, void** out) {
    const IID iid = InterfaceId(&received);
    if (out && IsEqualIID(iid, IID_IVntAddIn) && !m_host.addInHasInterface) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return FakeDispatch<IVntAddIn>::QueryInterface(iid, out);
}

HRESULT FakeAddIn::SetCAICallback(ICAICallback* callback) {
    m_host.journal.push_back(callback ? L"SetCAICallback(object)" : L"SetCAICallback(null)");
    return m_host.setCallbackResult;
}

HRESULT FakeAddIn::SetSymbol(BSTR name, BSTR value) {
    m_host.journal.push_back(L"SetSymbol(" + Text(name) + L", \"" + Text(value) + L"\")");
    if (m_host.failingSymbols.count(Text(name)) || m_host.failingSymbols.count(L"*")) return E_FAIL;
    m_host.symbols.emplace_back(Text(name), Text(value));
    return S_OK;
}
