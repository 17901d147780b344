#pragma once
#include <string>
#include <vector>

// Reads the component's UTF-16 log "vx17log.err" back into lines.
class LogReader {
public:
    explicit LogReader(const std::wstring& path = L"vx17log.err");

    bool exists = false;
    bool hasBom = false;
    bool crLfOnly = true;  // every line break is CR LF
    std::vector<std::wstring> lines;

    // The lines without their 24-character time text: "Info: Run() QELDRESTORE", " :CAI DLL: …".
    std::vector<std::wstring> Entries() const;
    // Entries that are not header lines, without the ": " after the time.
    std::vector<std::wstring> Messages() const;

    static void Remove(const std::wstring& path = L"vx17log.err");
};
