#pragma once
#include <windows.h>
#include <string>

// Runs a program to its end with its standard output and error sent to one file, as a
// user at a console would see them.
struct CapturedProcess {
    DWORD exitCode = 0xFFFFFFFF;  // also when the program could not start or did not end
    std::string output;

    // Starts commandLine in directory; the output file is directory\outputName.
    static CapturedProcess Run(std::wstring commandLine, const std::wstring& directory,
                               const std::wstring& outputName, DWORD timeoutMs);
};
