#include "CServerRegistration.h"
#include "CRegistrar.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include <QELDVecta17x.h>

namespace {

// Module paths go into the script as quoted text.
std::wstring DoubleQuotes(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out;
}

HRESULT PrepareRegistrar(HMODULE module, CRegistrar& registrar, std::wstring& path, std::wstring& script) {
    RETURN_IF_FAILED(CServerRegistration::ModulePath(module, path));
    registrar.AddReplacement(L"MODULE", DoubleQuotes(path));
    registrar.AddReplacement(L"MODULE_RAW", DoubleQuotes(path));
    return CRegistrar::LoadScript(module, CServerRegistration::kScriptId, script);
}

}  // namespace

HRESULT CServerRegistration::ModulePath(HMODULE module, std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0) return HResultFromLastError();
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
}

HRESULT CServerRegistration::Register(HMODULE module) {
    CRegistrar registrar;
    std::wstring path, script;
    RETURN_IF_FAILED(PrepareRegistrar(module, registrar, path, script));
    RETURN_IF_FAILED(registrar.Register(script));
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
    return RegisterTypeLib(library.get(), path.data(), nullptr);
}

HRESULT CServerRegistration::Unregister(HMODULE module) {
    CRegistrar registrar;
    std::wstring path, script;
    RETURN_IF_FAILED(PrepareRegistrar(module, registrar, path, script));
    // Both parts are removed even when the first fails; its failure is the answer.
    const HRESULT scriptResult = registrar.Unregister(script);
    const HRESULT libraryResult = UnRegisterTypeLib(LIBID_QELDVECTA17XLib, 1, 0, 0x409, SYS_WIN32);
    return FAILED(scriptResult) ? scriptResult : libraryResult;
}
