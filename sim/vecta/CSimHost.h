#pragma once
#include "CFaults.h"
#include "CSimOptions.h"
#include "CStubKeeper.h"
#include "CTrace.h"
#include "support/ComPtr.h"
#include "vecta.h"
#include <windows.h>
#include <string>
#include <vector>

class CSimApplication;
class CSimDocument;
class CSimMenuGroup;
class CSimPopupMenu;

// The state of one running Vecta: drawings, menus, busy state, the PDM add-in's callback,
// the running object table registration. Lives on the main thread's stack for the whole run;
// every automation object refers to it.
class CSimHost {
public:
    explicit CSimHost(const CSimOptions& options);
    CSimHost(const CSimHost&) = delete;
    CSimHost& operator=(const CSimHost&) = delete;
    ~CSimHost();

    // Loads the type library, creates the application object, opens the start-up drawings
    // and registers in the running object table.
    [[nodiscard]] HRESULT Start(HWND window);
    // Closes every drawing without saving, revokes the registration and ends the message loop.
    void Quit();

    const CSimOptions& Options() const noexcept { return m_options; }
    const CTrace& Trace() const noexcept { return m_trace; }
    CFaults& Faults() noexcept { return m_faults; }
    HWND Window() const noexcept { return m_window; }
    [[nodiscard]] HRESULT TypeInfo(REFIID iid, ITypeInfo** out) const;

    // Every incoming call: notes the activity and picks up a changed control file.
    void BeginCall();
    // The process ends inside a call, as a crashing host's does (exit code 5).
    [[noreturn]] void EndInCall(const std::wstring& call) const;
    // True once no call came for the idle time while no drawing needs the user.
    bool IdleLongEnough() const;

    // Drawings, in opening order; the active one is tracked separately.
    const std::vector<ComPtr<CSimDocument>>& Documents() const noexcept { return m_documents; }
    ComPtr<CSimDocument> ActiveDocument() const;
    void Activate(CSimDocument* document);
    void Add(const ComPtr<CSimDocument>& document);
    void Remove(CSimDocument* document);
    ComPtr<CSimDocument> FindOpen(const std::wstring& fullName) const;
    std::wstring NextUntitledName();

    std::vector<ComPtr<CSimMenuGroup>>& MenuGroups() noexcept { return m_menuGroups; }
    std::vector<ComPtr<CSimPopupMenu>>& MenuBar() noexcept { return m_menuBar; }

    // Busy: a command is running until the deadline, or until cancelled.
    bool IsIdle() const;
    void SetBusy(DWORD milliseconds);
    void Cancel();

    // The PDM add-in's way back to the client (shared by every add-in object).
    void SetCallback(ICAICallback* callback);
    // The client's answer to an expression; empty when there is none or it starts with "!".
    std::wstring Evaluate(const std::wstring& expression) const;
    // Reports an add-in outcome as "ZEPErrorCode" through "___Environment".
    void ReportOutcome(const std::wstring& outcome) const;

    bool partFileNext = false;

private:
    void CreateBaseMenu();
    [[nodiscard]] HRESULT KeepStubs();

    const CSimOptions& m_options;
    CTrace m_trace;
    CFaults m_faults;
    HWND m_window = nullptr;
    ComPtr<ITypeLib> m_typeLib;
    ComPtr<CSimApplication> m_application;
    DWORD m_rotCookie = 0;
    ULONGLONG m_lastCall = 0;
    ULONGLONG m_busyUntil = 0;
    unsigned m_untitledCount = 0;
    std::vector<ComPtr<CSimDocument>> m_documents;
    ComPtr<CSimDocument> m_active;
    std::vector<ComPtr<CSimMenuGroup>> m_menuGroups;
    std::vector<ComPtr<CSimPopupMenu>> m_menuBar;
    ComPtr<ICAICallback> m_callback;
    // Last, so that the stubs go before anything they refer to.
    CStubKeeper m_stubs;
};
