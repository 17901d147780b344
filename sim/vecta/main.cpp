// VectaSim.exe: the Vecta host simulator (README.md).
#include "CMainWindow.h"
#include "CSimHost.h"
#include "CSimMessageFilter.h"
#include "CSimOptions.h"
#include "CSimRegistrar.h"
#include "support/UniqueHandle.h"
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

constexpr int kBadCommandLine = 2;
constexpr int kStartFailed = 3;
constexpr int kShutdownHung = 4;

std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

// Clients release their proxies right after Quit. An apartment inside CoUninitialize cannot
// answer those calls, and Wine then waits for them for good, so serve them first.
void ServeLastCalls() {
    constexpr ULONGLONG kQuietMs = 100;
    ULONGLONG lastMessage = GetTickCount64();
    MSG message;
    while (GetTickCount64() - lastMessage < kQuietMs) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            lastMessage = GetTickCount64();
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
}

// A call that still arrives during CoUninitialize would keep the process forever; a process
// that was told to quit must be gone.
DWORD WINAPI EndWhenShutdownHangs(LPVOID) noexcept {
    Sleep(3000);
    ExitProcess(kShutdownHung);
}

int Run(const CSimOptions& options) {
    if (FAILED(CSimRegistrar::RegisterIfNeeded())) return kStartFailed;
    CSimHost host(options);
    CMainWindow window;
    CSimMessageFilter filter(host);
    if (FAILED(window.Create(host)) || FAILED(filter.Register()) || FAILED(host.Start(window.Handle())))
        return kStartFailed;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    ServeLastCalls();
    return 0;
}

int Main() {
    CSimOptions options;
    std::wstring error;
    if (!options.Parse(Arguments(), error)) {
        OutputDebugStringW((L"VectaSim: " + error).c_str());
        return kBadCommandLine;
    }
    switch (options.mode) {
    case CSimOptions::Mode::RegServer:
        return SUCCEEDED(CSimRegistrar::Register()) && SUCCEEDED(CSimRegistrar::RegisterRelease(options.version))
                   ? 0
                   : kStartFailed;
    case CSimOptions::Mode::UnregServer: return SUCCEEDED(CSimRegistrar::Unregister()) ? 0 : kStartFailed;
    case CSimOptions::Mode::Run: break;
    }
    return Run(options);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return kStartFailed;
    int code = kStartFailed;
    try {
        code = Main();
    } catch (...) {
        code = kStartFailed;
    }
    if (code != kBadCommandLine) {
        UniqueHandle watchdog(CreateThread(nullptr, 0, &EndWhenShutdownHangs, nullptr, 0, nullptr));
    }
    CoUninitialize();
    return code;
}
