#include "CRegistrar.h"
#include "TextCodec.h"
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include <windows.h>
#include <ole2.h>
#include <memory>
#include <ostream>

namespace {

constexpr DWORD kLocalServerWaitMs = 30000;

}  // namespace

// Type libraries first, so that the servers that refer to them find them registered.
const CRegistrar::Item CRegistrar::kItems[] = {
    {L"the PDM client's type library", L"cai_dll.tlb", Kind::TypeLibrary, false},
    {L"the integration component", L"QELDVecta17x.dll", Kind::InProcessServer, true},
    {L"the instance moniker provider", L"QELDVecta17Instance.dll", Kind::InProcessServer, false},
    {L"the Vecta host simulator and its type library", L"VectaSim.exe", Kind::LocalServer, false},
};

int CRegistrar::Register() { return Apply(true); }
int CRegistrar::Unregister() { return Apply(false); }

int CRegistrar::Apply(bool registering) {
    int failures = 0;
    const size_t count = std::size(kItems);
    for (size_t n = 0; n < count; ++n) {
        const Item& item = kItems[registering ? n : count - 1 - n];
        m_out << (registering ? "register " : "unregister ") << TextCodec::ToUtf8(item.what) << ": ";
        if (const std::wstring why = LeftOut(item); !why.empty()) {
            m_out << "skipped, " << TextCodec::ToUtf8(why) << std::endl;
            continue;
        }
        const std::wstring path = Find(item.file);
        if (path.empty()) {
            m_out << "skipped, " << TextCodec::ToUtf8(item.file) << " not found (beside caiclient.exe or in --from)"
                  << std::endl;
            continue;
        }
        long hr = E_FAIL;
        switch (item.kind) {
            case Kind::TypeLibrary: hr = TypeLibrary(path, registering); break;
            case Kind::InProcessServer: hr = InProcessServer(path, registering); break;
            case Kind::LocalServer: hr = LocalServer(path, registering); break;
        }
        m_out << TextCodec::ToUtf8(path) << (SUCCEEDED(hr) ? " ok" : " FAILED (" + TextCodec::ToUtf8(TextCodec::HexCode(hr)) + ")") << std::endl;
        if (FAILED(hr)) ++failures;
    }
    return failures;
}

std::wstring CRegistrar::LeftOut(const Item& item) const {
    if (!item.component) return {};
    if (!m_withComponent) return L"--no-component";
    if (m_package)
        return L"the installed package QELDVecta17x " + m_package->version + L" registers it (" +
               m_package->componentFile + L")";
    return {};
}

std::wstring CRegistrar::Find(const wchar_t* file) const {
    std::vector<std::wstring> folders;
    wchar_t module[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const std::wstring self(module, n);
        folders.push_back(self.substr(0, self.find_last_of(L'\\')));
    }
    folders.insert(folders.end(), m_folders.begin(), m_folders.end());
    for (const std::wstring& folder : folders) {
        const std::wstring candidate = folder + L"\\" + file;
        wchar_t full[MAX_PATH * 2];
        const DWORD length = GetFullPathNameW(candidate.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return length > 0 && length < std::size(full) ? std::wstring(full, length) : candidate;
    }
    return {};
}

long CRegistrar::TypeLibrary(const std::wstring& path, bool registering) const {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    // Registered under the path as found: Wine's REGKIND_REGISTER would store "\\?\Z:\...".
    if (registering) {
        std::wstring file = path;
        return RegisterTypeLib(library.get(), file.data(), nullptr);
    }
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    // Already gone counts as removed.
    UniqueBstr registeredPath;
    if (FAILED(QueryPathOfRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, registeredPath.put())))
        return S_OK;
    return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

long CRegistrar::InProcessServer(const std::wstring& path, bool registering) const {
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> module(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), &FreeLibrary);
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), registering ? "DllRegisterServer" : "DllUnregisterServer")));
    if (!entry) return HRESULT_FROM_WIN32(GetLastError());
    return entry();
}

long CRegistrar::LocalServer(const std::wstring& path, bool registering) const {
    std::wstring commandLine = L"\"" + path + L"\" " + (registering ? L"/regserver" : L"/unregserver");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return HRESULT_FROM_WIN32(GetLastError());
    const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, kLocalServerWaitMs) != WAIT_OBJECT_0) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode == 0 ? S_OK : E_FAIL;
}
