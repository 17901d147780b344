#include "CMainWindow.h"
#include "CSimHost.h"

namespace {
constexpr wchar_t kClassName[] = L"VectaSimMainWindow";
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleCheckMs = 250;
}  // namespace

CMainWindow::~CMainWindow() {
    if (m_window) DestroyWindow(m_window);
}

HRESULT CMainWindow::Create(CSimHost& host) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CMainWindow::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring title = L"Vecta " + host.Options().version + L" - " + host.Options().profile;
    m_window = CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!m_window)
        m_window = CreateWindowExW(0, kClassName, title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
    if (!m_window) return HRESULT_FROM_WIN32(GetLastError());
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&host));
    SetTimer(m_window, kIdleTimer, kIdleCheckMs, nullptr);
    return S_OK;
}

// The cancel message: dwData 1 (typed input) carrying two ESC characters and the terminator.
bool CMainWindow::IsCancel(const COPYDATASTRUCT& data) noexcept {
    static const wchar_t escapes[] = L"\x1b\x1b";
    return data.dwData == 1 && data.cbData == sizeof(escapes) && data.lpData &&
           memcmp(data.lpData, escapes, sizeof(escapes)) == 0;
}

LRESULT CALLBACK CMainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* host = reinterpret_cast<CSimHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!host) return DefWindowProcW(window, message, wParam, lParam);
    try {
        switch (message) {
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const bool cancel = data && IsCancel(*data);
            if (cancel) host->Cancel();
            host->Trace().Record(L"Window", cancel ? L"Cancel" : L"CopyData", {}, cancel ? S_OK : S_FALSE);
            return cancel ? TRUE : FALSE;
        }
        case WM_TIMER:
            if (wParam == kIdleTimer && host->IdleLongEnough()) {
                KillTimer(window, kIdleTimer);
                host->Trace().Record(L"Application", L"IdleQuit", {}, S_OK);
                host->Quit();
            }
            return 0;
        case WM_CLOSE:
            host->Quit();
            return 0;
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
