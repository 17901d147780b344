#include "CServerRegistration.h"
#include "support/NoImpersonation.h"
#include "CRegistrar.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include <QELDVecta17x.h>

namespace {

constexpr LCID kLibraryLocale = 0x409;

// Module paths go into the script as quoted text.
std::wstring DoubleQuotes(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out;
}

// The same file under two spellings (case, short names, another path to it) counts as one.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    const auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& information) {
        const UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, kNoImpersonation, nullptr));
        return file.valid() && GetFileInformationByHandle(file.get(), &information);
    };
    return identify(a, first) && identify(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Said to whoever runs the registration, on its error output when it has one (regsvr32 in a
// console); the removal still succeeds, since leaving another file's keys is its purpose.
void Tell(const std::wstring& text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (!error || error == INVALID_HANDLE_VALUE) return;
    const std::wstring line = L"QELDVecta17x: " + text + L"\r\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    static_cast<void>(WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// The file another registration of the class names, when it is not this module: the package
// or another copy owns the class then, and removing it would break that installation.
std::wstring OtherClassServer(const std::wstring& path) {
    wchar_t classId[39];
    StringFromGUID2(CLSID_CAI_Call, classId, 39);
    wchar_t server[MAX_PATH * 2];
    DWORD size = sizeof(server);
    const std::wstring key = L"CLSID\\" + std::wstring(classId) + L"\\InprocServer32";
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server,
                     &size) != ERROR_SUCCESS)
        return {};
    return SameFile(server, path) ? std::wstring() : std::wstring(server);
}

std::wstring OtherLibraryFile(const std::wstring& path) {
    UniqueBstr registered;
    if (FAILED(QueryPathOfRegTypeLib(LIBID_QELDVECTA17XLib, 1, 0, kLibraryLocale, registered.put())) || !registered.get())
        return {};
    return SameFile(registered.get(), path) ? std::wstring() : std::wstring(registered.get());
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
    // Both parts are removed even when the first fails; its failure is the answer. Each only
    // where this very file is registered: a copy's removal leaves the installed one working.
    HRESULT scriptResult = S_OK, libraryResult = S_OK;
    if (const std::wstring other = OtherClassServer(path); !other.empty())
        Tell(L"left the class and its ProgIDs in place: they name " + other + L", not " + path);
    else
        scriptResult = registrar.Unregister(script);
    if (const std::wstring other = OtherLibraryFile(path); !other.empty())
        Tell(L"left the type library in place: it is registered from " + other + L", not " + path);
    else
        libraryResult = UnRegisterTypeLib(LIBID_QELDVECTA17XLib, 1, 0, kLibraryLocale, SYS_WIN32);
    return FAILED(scriptResult) ? scriptResult : libraryResult;
}
