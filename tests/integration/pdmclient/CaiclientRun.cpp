#include "CaiclientRun.h"
#include "TextCodec.h"
#include "fakes/CapturedProcess.h"
#include <gtest/gtest.h>

std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:" + TextCodec::FromUtf8(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

CaiclientRun RunCaiclient(const TempFolder& folder, const std::wstring& arguments, const std::wstring& workingFolder) {
    const std::wstring commandLine = L"\"" + WindowsPath(CAICLIENT_EXE) + L"\" " + arguments;
    const CapturedProcess process =
        CapturedProcess::Run(commandLine, workingFolder.empty() ? folder.Path() : workingFolder, folder.Path(),
                             L"stdout.txt", L"stderr.txt", 60000);
    EXPECT_NE(process.exitCode, 0xFFFFFFFFu) << "caiclient.exe did not start or did not end";
    return {process.exitCode, process.output, process.error};
}
