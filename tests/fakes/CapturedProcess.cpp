#include "CapturedProcess.h"
#include "TempFolder.h"
#include "support/UniqueHandle.h"

CapturedProcess CapturedProcess::Run(std::wstring commandLine, const std::wstring& directory,
                                     const std::wstring& outputName, DWORD timeoutMs) {
    return Run(std::move(commandLine), directory, directory, outputName, L"", timeoutMs);
}

CapturedProcess CapturedProcess::Run(std::wstring commandLine, const std::wstring& workingFolder,
                                     const std::wstring& captureFolder, const std::wstring& outputName,
                                     const std::wstring& errorName, DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto create = [&](const std::wstring& path) {
        return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const std::wstring outputPath = captureFolder + L"\\" + outputName;
    const std::wstring errorPath = errorName.empty() ? std::wstring() : captureFolder + L"\\" + errorName;
    CapturedProcess result;
    {
        UniqueHandle out = create(outputPath);
        UniqueHandle err = errorPath.empty() ? UniqueHandle() : create(errorPath);
        UniqueHandle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.get();
        startup.hStdOutput = out.get();
        startup.hStdError = err.valid() ? err.get() : out.get();
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, workingFolder.c_str(),
                            &startup, &process))
            return result;
        const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            return result;
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
    }
    result.output = TempFolder::ReadBytes(outputPath);
    if (!errorPath.empty()) result.error = TempFolder::ReadBytes(errorPath);
    return result;
}
