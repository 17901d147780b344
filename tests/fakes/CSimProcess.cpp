#include "CSimProcess.h"
#include "support/ResultMacros.h"
#include <vector>

namespace {

std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

HRESULT Launch(std::wstring commandLine, UniqueHandle& process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return HRESULT_FROM_WIN32(GetLastError());
    process.reset(info.hProcess);
    CloseHandle(info.hThread);
    return S_OK;
}

}  // namespace

CSimProcess::~CSimProcess() {
    if (!m_process.valid()) return;
    if (m_app && !WaitForExit(0)) {
        (void)m_app->Quit();
    }
    m_app.reset();
    if (!WaitForExit(5000)) {
        TerminateProcess(m_process.get(), 1);
        WaitForExit(5000);
    }
}

std::wstring CSimProcess::SimPath() { return WindowsPath(VECTASIM_EXE); }

std::wstring CSimProcess::MonikerDllPath() { return WindowsPath(INSTANCE_DLL); }

std::wstring CSimProcess::WorkFolder() {
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

HRESULT CSimProcess::RunToEnd(const std::wstring& arguments, DWORD& exitCode) {
    UniqueHandle process;
    RETURN_IF_FAILED(Launch(L"\"" + SimPath() + L"\" " + arguments, process));
    if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return HR_TIMEOUT;
    }
    return GetExitCodeProcess(process.get(), &exitCode) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT CSimProcess::RegisterAll() {
    // The PDM client's library is the client setup's to register, as caiclient --register
    // does; the simulator's callback marshals through it.
    ComPtr<ITypeLib> clientLibrary;
    RETURN_IF_FAILED(LoadTypeLibEx(WindowsPath(CAI_DLL_TLB).c_str(), REGKIND_REGISTER, clientLibrary.put()));
    DWORD code = 1;
    RETURN_IF_FAILED(RunToEnd(L"/regserver", code));
    if (code != 0) return E_FAIL;

    HMODULE module = LoadLibraryW(MonikerDllPath().c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    const HRESULT hr = registerServer ? registerServer() : E_NOINTERFACE;
    FreeLibrary(module);
    return hr;
}

HRESULT CSimProcess::Bind(const std::wstring& className, const std::wstring& profile, IVectaApplication** out) {
    *out = nullptr;
    ComPtr<IBindCtx> context;
    RETURN_IF_FAILED(CreateBindCtx(0, context.put()));
    const std::wstring name = className + L":" + profile;
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    RETURN_IF_FAILED(MkParseDisplayName(context.get(), name.c_str(), &eaten, moniker.put()));
    return moniker->BindToObject(context.get(), nullptr, IID_IVectaApplication, reinterpret_cast<void**>(out));
}

HRESULT CSimProcess::Start(const std::wstring& profile, const std::wstring& release, const std::wstring& extra) {
    RETURN_IF_FAILED(Launch(L"\"" + SimPath() + L"\" /profile \"" + profile + L"\" /release " + release + L" " + extra,
                            m_process));
    const std::wstring className = release == L"R16" ? L"QELDVecta16Instance" : L"QELDVecta17Instance";
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (SUCCEEDED(Bind(className, profile, m_app.put()))) return S_OK;
        if (WaitForExit(50)) return E_FAIL;
    }
    return HR_TIMEOUT;
}

bool CSimProcess::WaitForExit(DWORD milliseconds) const {
    return m_process.valid() && WaitForSingleObject(m_process.get(), milliseconds) == WAIT_OBJECT_0;
}

void CSimProcess::Kill() {
    m_app.reset();
    if (m_process.valid()) TerminateProcess(m_process.get(), 1);
    WaitForExit(5000);
}

DWORD CSimProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_process.valid()) GetExitCodeProcess(m_process.get(), &code);
    return code;
}
