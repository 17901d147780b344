#pragma once
#include <string>
#include <vector>

// caiclient's command line and script files.
class CCommandLine {
public:
    // One line of work: a command with up to two arguments, or ".document KEY".
    struct Step {
        int line = 0;  // 0 for the command line
        bool selectsDocument = false;
        std::wstring command, first, second;
    };

    // False with a reason for a usage error.
    bool Parse(const std::vector<std::wstring>& arguments, std::wstring& error);
    // One step per line; blank lines and lines starting with # or ; are skipped. False with
    // "line N: reason".
    static bool ParseScript(const std::wstring& text, std::vector<Step>& steps, std::wstring& error);
    static std::wstring Usage();

    bool help = false;
    bool registerAll = false;
    bool unregisterAll = false;
    bool diagnose = false;
    bool trace = false;
    bool unattended = false;
    bool noComponent = false;
    std::wstring workspace;
    std::wstring script;
    std::wstring document;
    std::wstring progId = L"QELDVecta17x.CAI_Call";
    std::vector<std::wstring> folders;
    std::vector<Step> steps;
};
