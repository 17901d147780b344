#pragma once
#include <string>

// A fresh folder under the test's working folder, removed with its files at the end.
class CTestFolder {
public:
    explicit CTestFolder(const std::wstring& name);
    ~CTestFolder();
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    // Full Windows path of the folder, without a trailing separator.
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    void Write(const std::wstring& name, const std::string& bytes) const;
    std::string Read(const std::wstring& name) const;
    bool Exists(const std::wstring& name) const;

private:
    std::wstring m_path;
};
