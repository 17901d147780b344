#include "CTestFolder.h"
#include <windows.h>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

CTestFolder::CTestFolder(const std::wstring& name) {
    static int counter = 0;
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    m_path = std::wstring(current) + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(++counter);
    RemoveTree(m_path);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

CTestFolder::~CTestFolder() { RemoveTree(m_path); }

void CTestFolder::Write(const std::wstring& name, const std::string& bytes) const {
    std::ofstream out(File(name).c_str(), std::ios::binary);
    out << bytes;
}

std::string CTestFolder::Read(const std::wstring& name) const {
    std::ifstream in(File(name).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool CTestFolder::Exists(const std::wstring& name) const {
    return GetFileAttributesW(File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}
