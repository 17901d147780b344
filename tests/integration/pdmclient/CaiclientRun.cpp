#include "CaiclientRun.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include "support/UniqueHandle.h"
#include <gtest/gtest.h>

std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:" + TextCodec::FromUtf8(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

CaiclientRun RunCaiclient(const TempFolder& folder, const std::wstring& arguments, const std::wstring& workingFolder) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto create = [&](const wchar_t* name) {
        return UniqueHandle(CreateFileW(folder.File(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    CaiclientRun run;
    {
        UniqueHandle out = create(L"stdout.txt"), err = create(L"stderr.txt");
        UniqueHandle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.get();
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        std::wstring commandLine = L"\"" + WindowsPath(CAICLIENT_EXE) + L"\" " + arguments;
        const std::wstring& directory = workingFolder.empty() ? folder.Path() : workingFolder;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                            &startup, &process)) {
            ADD_FAILURE() << "cannot start caiclient.exe: " << GetLastError();
            return run;
        }
        const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.out = Get(folder, L"stdout.txt");
    run.err = Get(folder, L"stderr.txt");
    return run;
}
