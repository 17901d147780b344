#pragma once
#include <string>
#include <vector>

// Whole UTF-8 text files, as the simulator's drawings, PSX files and trace keep them.
class CTextFile {
public:
    static std::string ToUtf8(const std::wstring& text);
    static std::wstring FromUtf8(const std::string& text);
    // False when the file cannot be read; a UTF-8 byte-order mark is dropped.
    [[nodiscard]] static bool Read(const std::wstring& path, std::wstring& text);
    // Creates or replaces the file.
    [[nodiscard]] static bool Write(const std::wstring& path, const std::wstring& text);
    // Appends one line; the file is opened per line so that readers may look at any time.
    [[nodiscard]] static bool AppendLine(const std::wstring& path, const std::wstring& line);
    static bool Exists(const std::wstring& path);
    // The text's lines without their line ends ("\n" or "\r\n").
    static std::vector<std::wstring> Lines(const std::wstring& text);
};
