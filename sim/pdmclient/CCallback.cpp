#include "CCallback.h"
#include "support/ResultMacros.h"
#include <new>

namespace {

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

HRESULT ToBstr(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The type library travels inside the program as resource TYPELIB 1, or lies beside it.
ComPtr<ITypeLib> LoadCaiTypeLib() {
    wchar_t module[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ComPtr<ITypeLib> library;
    if (n == 0 || n >= MAX_PATH) return library;
    if (SUCCEEDED(LoadTypeLibEx(module, REGKIND_NONE, library.put()))) return library;
    std::wstring beside(module, n);
    beside = beside.substr(0, beside.find_last_of(L'\\') + 1) + L"cai_dll.tlb";
    if (SUCCEEDED(LoadTypeLibEx(beside.c_str(), REGKIND_NONE, library.put()))) return library;
    library.reset();
    return library;
}

}  // namespace

HRESULT CCallback::Create(CWorkspace& workspace, const CExpressionEvaluator& evaluator, CClientCommands& commands,
                          CConsoleUser& user, bool trace, ComPtr<ICAICallback>& callback) noexcept {
    callback.reset();
    auto* object = new (std::nothrow) CCallback(workspace, evaluator, commands, user, trace);
    if (!object) return E_OUTOFMEMORY;
    object->LoadTypeInfo();
    callback.attach(object);
    return S_OK;
}

void CCallback::Disconnect(ICAICallback* callback) noexcept {
    if (callback) CoDisconnectObject(callback, 0);
}

void CCallback::LoadTypeInfo() noexcept {
    try {
        if (const ComPtr<ITypeLib> library = LoadCaiTypeLib())
            if (FAILED(library->GetTypeInfoOfGuid(IID_ICAICallback, m_typeInfo.put()))) m_typeInfo.reset();
    } catch (...) {
        m_typeInfo.reset();
    }
}

HRESULT CCallback::QueryInterface(REFIID riid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICAICallback) {
        *object = static_cast<ICAICallback*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CCallback::AddRef() noexcept { return ++m_references; }

ULONG CCallback::Release() noexcept {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT CCallback::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = m_typeInfo ? 1 : 0;
    return S_OK;
}

HRESULT CCallback::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!m_typeInfo) return TYPE_E_CANTLOADLIBRARY;
    m_typeInfo.copy_to(info);
    return S_OK;
}

HRESULT CCallback::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!m_typeInfo) return TYPE_E_CANTLOADLIBRARY;
    return DispGetIDsOfNames(m_typeInfo.get(), names, count, ids);
}

HRESULT CCallback::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argumentError) noexcept {
    if (!m_typeInfo) return TYPE_E_CANTLOADLIBRARY;
    return DispInvoke(static_cast<ICAICallback*>(this), m_typeInfo.get(), id, flags, params, result, exception,
                      argumentError);
}

HRESULT CCallback::Call(BSTR command, BSTR arguments, BSTR, LONG* result) noexcept {
    if (!result) return E_POINTER;
    *result = 0;
    try {
        long code = 0;
        const HRESULT hr = m_commands.Run(Text(command), Text(arguments), code);
        *result = code;
        if (m_trace)
            m_user.Note(L"Call " + Text(command) + L" " + Text(arguments) + L" -> " + std::to_wstring(code));
        return hr;
    } catch (...) {
        return HResultFromCaught();
    }
}

HRESULT CCallback::GetClientInfo(LONG, BSTR* text) noexcept {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}

HRESULT CCallback::SetStatusText(BSTR) noexcept { return E_NOTIMPL; }

HRESULT CCallback::ShowProgress(LONG) noexcept { return E_NOTIMPL; }

HRESULT CCallback::GetMessageText(BSTR key, BSTR* text) noexcept {
    if (!text) return E_POINTER;
    *text = nullptr;
    try {
        const std::optional<std::wstring> message = m_workspace.Message(Text(key));
        if (!message) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        return ToBstr(*message, text);
    } catch (...) {
        return HResultFromCaught();
    }
}

HRESULT CCallback::Prepare(BSTR expression, BSTR* value) noexcept {
    if (!value) return E_POINTER;
    *value = nullptr;
    try {
        const std::wstring answer = m_evaluator.Evaluate(Text(expression));
        if (m_trace) m_user.Note(L"Prepare " + Text(expression) + L" = " + answer);
        return ToBstr(answer, value);
    } catch (...) {
        return HResultFromCaught();
    }
}
