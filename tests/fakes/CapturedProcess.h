#pragma once
#include <windows.h>
#include <string>

// Runs a program to its end with its standard output and error captured through files, by
// default both in one, as a user at a console would see them.
struct CapturedProcess {
    DWORD exitCode = 0xFFFFFFFF;  // also when the program could not start or did not end
    std::string output;
    std::string error;  // only when an error file of its own was named

    // Starts commandLine in workingFolder; the output goes to captureFolder\outputName and,
    // when errorName is given, the error output to captureFolder\errorName.
    static CapturedProcess Run(std::wstring commandLine, const std::wstring& workingFolder,
                               const std::wstring& captureFolder, const std::wstring& outputName,
                               const std::wstring& errorName, DWORD timeoutMs);
    // Output and error in one file of the working folder.
    static CapturedProcess Run(std::wstring commandLine, const std::wstring& directory,
                               const std::wstring& outputName, DWORD timeoutMs);
};
