#include "TempFolder.h"
#include <cstring>
#include <windows.h>
#include <shellapi.h>
#include <fstream>
#include <iterator>

TempFolder::TempFolder() {
    wchar_t buffer[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, buffer);
    m_previous = buffer;
    GetTempPathW(MAX_PATH, buffer);
    static unsigned counter = 0;
    m_path = std::wstring(buffer) + L"qeldtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++counter);
    CreateDirectoryW(m_path.c_str(), nullptr);
    SetCurrentDirectoryW(m_path.c_str());
}

TempFolder::~TempFolder() {
    SetCurrentDirectoryW(m_previous.c_str());
    std::wstring from = m_path + std::wstring(1, L'\0');  // double-NUL terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

void TempFolder::WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempFolder::ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool TempFolder::UnixLink(const std::wstring& target, const std::wstring& link) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    auto text = [&](const std::wstring& path) {
        char* name = unixName(path.c_str());
        std::wstring wide = name ? std::wstring(name, name + strlen(name)) : std::wstring();
        HeapFree(GetProcessHeap(), 0, name);
        return wide;
    };
    DeleteFileW(link.c_str());
    std::wstring command = L"/bin/ln -s \"" + text(target) + L"\" \"" + text(link) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    // Wine hands back no handle that tells when a Unix program ends: wait for the link.
    for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}
