#pragma once
#include "support/UniqueHandle.h"
#include <string>
#include <vector>

class FakeCallback;

// Plays the PDM client's "___Shell": starts the program of a
// "Shellexecute(open '<program>' '<arguments>' '<folder>' )" command with CreateProcess.
// Processes still running when the launcher goes are terminated, so a test leaves none.
class CShellLauncher {
public:
    CShellLauncher() = default;
    CShellLauncher(const CShellLauncher&) = delete;
    CShellLauncher& operator=(const CShellLauncher&) = delete;
    ~CShellLauncher();

    // Makes the fake client answer "___Shell" through this launcher.
    void Attach(FakeCallback& callback);
    // 0 when the program started, -1 for a command of another form or a failed start.
    long Launch(const std::wstring& command);

    size_t Started() const noexcept { return m_processes.size(); }
    // True when every started process ended within the time.
    bool WaitForAll(DWORD milliseconds) const;
    void TerminateAll();

    // The quoted fields of a Shellexecute command, in order.
    static std::vector<std::wstring> QuotedFields(const std::wstring& command);
    // Starts "<program>" <arguments> as the shell does; the process, or an invalid handle.
    static UniqueHandle Start(const std::wstring& program, const std::wstring& arguments);

private:
    std::vector<UniqueHandle> m_processes;
};
