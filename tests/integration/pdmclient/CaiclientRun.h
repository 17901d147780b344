#pragma once
#include "fakes/TempFolder.h"
#include <windows.h>
#include <string>

// caiclient.exe run as a process, the way an administrator or the demo runs it.
struct CaiclientRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

// Runs caiclient.exe with the arguments in the working folder (default: the test folder) and
// waits for it; stdout and stderr are captured through files in the test folder.
CaiclientRun RunCaiclient(const TempFolder& folder, const std::wstring& arguments,
                          const std::wstring& workingFolder = L"");

// "Z:\…" for a path of the build tree.
std::wstring WindowsPath(const char* unixPath);
