#pragma once
#include <string>

// A fresh folder made the current directory for one test (the log file lands in the
// working directory); the previous directory is restored and the folder removed after.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::wstring& Path() const { return m_path; }
    // Path of a file inside the folder, with "\" separators.
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    static void WriteBytes(const std::wstring& path, const std::string& bytes);
    static std::string ReadBytes(const std::wstring& path);
    // A symbolic link made on the Unix side (Wine opens through it and reports a plain file).
    static bool UnixLink(const std::wstring& target, const std::wstring& link);

private:
    std::wstring m_previous;
    std::wstring m_path;
};
