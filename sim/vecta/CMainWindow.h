#pragma once
#include <windows.h>

class CSimHost;

// Vecta's main window: receives the cancel message and drives the idle check. A
// message-only window when no top-level window can be made (headless Wine).
class CMainWindow {
public:
    CMainWindow() = default;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;
    ~CMainWindow();

    [[nodiscard]] HRESULT Create(CSimHost& host);
    HWND Handle() const noexcept { return m_window; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    static bool IsCancel(const COPYDATASTRUCT& data) noexcept;

    HWND m_window = nullptr;
};
