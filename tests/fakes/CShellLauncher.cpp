#include "CShellLauncher.h"
#include "FakeCallback.h"

CShellLauncher::~CShellLauncher() {
    if (!WaitForAll(3000)) TerminateAll();
}

void CShellLauncher::Attach(FakeCallback& callback) {
    callback.commands[L"___Shell"] = [this](FakeCallback&, const std::wstring& arguments) { return Launch(arguments); };
}

std::vector<std::wstring> CShellLauncher::QuotedFields(const std::wstring& command) {
    std::vector<std::wstring> fields;
    for (size_t open = command.find(L'\''); open != std::wstring::npos; open = command.find(L'\'', open)) {
        const size_t close = command.find(L'\'', open + 1);
        if (close == std::wstring::npos) break;
        fields.push_back(command.substr(open + 1, close - open - 1));
        open = close + 1;
    }
    return fields;
}

long CShellLauncher::Launch(const std::wstring& command) {
    if (command.rfind(L"Shellexecute(open ", 0) != 0) return -1;
    const std::vector<std::wstring> fields = QuotedFields(command);
    if (fields.size() < 2 || fields[0].empty()) return -1;
    UniqueHandle process = Start(fields[0], fields[1]);
    if (!process.valid()) return -1;
    m_processes.push_back(std::move(process));
    return 0;
}

UniqueHandle CShellLauncher::Start(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return UniqueHandle();
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

bool CShellLauncher::WaitForAll(DWORD milliseconds) const {
    const DWORD until = GetTickCount() + milliseconds;
    for (const UniqueHandle& process : m_processes) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<int>(until - now) > 0 ? until - now : 0;
        if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

void CShellLauncher::TerminateAll() {
    for (const UniqueHandle& process : m_processes) {
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) continue;
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
}
