#pragma once
#include <windows.h>
#include <map>
#include <string>

// Fault injection read from the control file (README.md); reloaded whenever the file changes.
class CFaults {
public:
    explicit CFaults(std::wstring path) : m_path(std::move(path)) {}

    // Picks up a changed control file; a file that is missing or not valid JSON means no faults.
    void Refresh();

    HRESULT openFails = S_OK;
    DWORD openHangMs = 0;
    bool saveFails = false;
    bool saveBackup = false;
    bool closeFails = false;
    bool hwndFails = false;
    std::wstring addIn = L"ok";
    std::wstring importOutcome = L"0";
    std::wstring publishOutcome = L"0";
    DWORD commandBusyMs = 0;
    // The host's own failures: calls failing by "<Object>.<Member>", an Add without a drawing,
    // calls refused while a command runs, the process ending inside a call.
    std::map<std::wstring, HRESULT> fails;
    bool addReturnsNothing = false;
    bool rejectWhileBusy = false;
    std::wstring exitIn;
    bool openNoDocument = false;
    bool openHold = false;

    // The injected failure of a call ("Document", "ReadOnly"), S_OK when there is none.
    HRESULT FailureOf(const std::wstring& object, const wchar_t* member) const;

private:
    void Load(const std::wstring& text);

    std::wstring m_path;
    FILETIME m_stamp{};
    ULONGLONG m_size = ~0ULL;
};
