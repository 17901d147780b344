#pragma once
#include "support/ComPtr.h"
#include "support/UniqueHandle.h"
#include "vecta.h"
#include <string>

// One VectaSim.exe started by a test. The destructor makes sure the process is gone:
// Quit through automation first, then termination.
class CSimProcess {
public:
    CSimProcess() = default;
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;
    ~CSimProcess();

    // Starts VectaSim with "/profile <profile> /release <release>" and the extra switches,
    // and waits until its instance moniker binds.
    [[nodiscard]] HRESULT Start(const std::wstring& profile, const std::wstring& release,
                                const std::wstring& extra = L"");
    IVectaApplication* App() const noexcept { return m_app.get(); }
    // Drops the test's reference, e.g. before checking that the process ends by itself.
    void ReleaseApp() noexcept { m_app.reset(); }
    // Ends the process the hard way, as a crash would, without revoking its registration.
    void Kill();
    // The process's exit code, STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    // True when the process ended within the time.
    bool WaitForExit(DWORD milliseconds) const;

    // "Z:\…\VectaSim.exe", the moniker DLL and the working folder in Windows form.
    static std::wstring SimPath();
    static std::wstring MonikerDllPath();
    static std::wstring WorkFolder();
    // Runs VectaSim with the arguments until it ends by itself (at most 30 s).
    [[nodiscard]] static HRESULT RunToEnd(const std::wstring& arguments, DWORD& exitCode);
    // Registers the PDM client's type library, the simulator's and the moniker classes, as
    // caiclient --register does.
    [[nodiscard]] static HRESULT RegisterAll();
    // MkParseDisplayName + BindToObject of "<class>:<profile>".
    [[nodiscard]] static HRESULT Bind(const std::wstring& className, const std::wstring& profile,
                                      IVectaApplication** out);

private:
    UniqueHandle m_process;
    ComPtr<IVectaApplication> m_app;
};
