#pragma once
#include <string>
#include <vector>

// Reads the component's UTF-16 log "vx17log.err" back into entries. An entry starts with
// the 24-character time text at the start of a line and ends with the CR LF before the next
// one: the line breaks of its own text stay in it.
class LogReader {
public:
    explicit LogReader(const std::wstring& path = L"vx17log.err");

    bool exists = false;
    bool hasBom = false;
    bool crLfOnly = true;  // every entry ends with CR LF
    std::vector<std::wstring> records;  // each entry with its time text, without its CR LF

    // The entries without their time text: "Info: Run() QELDRESTORE", " :CAI DLL: …".
    std::vector<std::wstring> Entries() const;
    // Entries that are not header lines, without the ": " after the time.
    std::vector<std::wstring> Messages() const;

    static void Remove(const std::wstring& path = L"vx17log.err");
};
