#include "SampleWorkspace.h"
#include "TextCodec.h"
#include <windows.h>
#include <vector>

std::string JsonPath(const std::wstring& windowsPath) {
    std::string out;
    for (char c : TextCodec::ToUtf8(windowsPath)) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

void Put(const TempFolder& folder, const std::wstring& name, const std::string& bytes) {
    TempFolder::WriteBytes(folder.File(name), bytes);
}

std::string Get(const TempFolder& folder, const std::wstring& name) { return TempFolder::ReadBytes(folder.File(name)); }

bool Exists(const TempFolder& folder, const std::wstring& name) {
    return GetFileAttributesW(folder.File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

void Visit(const std::wstring& folder, const std::wstring& prefix,
           const std::function<void(const std::wstring&, bool)>& visit) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        visit(prefix + name, isFolder);
        if (isFolder) Visit(folder, prefix + name + L"\\", visit);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void VisitFolder(const std::wstring& folder, const std::function<void(const std::wstring&, bool)>& visit) {
    Visit(folder, L"", visit);
}

void CopyFolder(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    VisitFolder(from, [&](const std::wstring& name, bool isFolder) {
        if (isFolder)
            CreateDirectoryW((to + L"\\" + name).c_str(), nullptr);
        else
            CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    });
}

void RemoveFolder(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, bool>> entries;
    VisitFolder(folder, [&](const std::wstring& name, bool isFolder) { entries.emplace_back(name, isFolder); });
    // What a folder holds comes after it: remove from the end.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::wstring path = folder + L"\\" + entry->first;
        if (entry->second)
            RemoveDirectoryW(path.c_str());
        else
            DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

void CreateSampleFolders(const TempFolder& root) {
    for (const wchar_t* folder : {L"a", L"b", L"ws"}) CreateDirectoryW(root.File(folder).c_str(), nullptr);
    Put(root, L"a\\qel.vor", "(princ)\n");
    Put(root, L"b\\qel.vor", "(princ)\n");
    Put(root, L"b\\vantor.mns", "menu\n");
}

std::string SampleWorkspaceJson(const TempFolder& root, bool jobServer) {
    const std::string a = JsonPath(root.File(L"a")), b = JsonPath(root.File(L"b")), ws = JsonPath(root.File(L"ws"));
    return R"json({
  "clientVersion": 530,
  "jobServer": )json" + std::string(jobServer ? "true" : "false") + R"json(,
  "settings": {
    "Appl": {"Profile": "Standard", "ApplTemplatePath": "C:\\Vecta\\Templates", "WaitForStartup": 1500, "LogLevel": 2},
    "DTY": {"CONTAINERKEY": "1001", "ReportObsoleteDocumentsOnOpen": "1"}
  },
  "environment": {"WSPATH": ")json" + ws + R"json(", "CAIPATH": "C:/Fennory", "CAICLIENTPATH": "C:\\Fennory\\Client\\"},
  "messages": {"VX16003": "Fennory - #(Appl:Profile)", "VX16004": "The client is too old.",
               "VX16006": "Vecta with the profile #(Appl:Profile) is not available.",
               "CAI0001": "Obsolete:", "CAI0002": "Open anyway?"},
  "searchPath": [")json" + a + R"json(", ")json" + b + R"json("],
  "documents": [
    {"QELKEY": "1001", "FILE_TYPE": "DL", "FILE": "C:\\Work\\list.vdr", "WRITE_RIGHT": true, "OLD_DOC_QELKEY": null},
    {"QELKEY": "1002", "FILE_TYPE": "DWG", "FILE": "C:\\Work\\a.vdr", "WRITE_RIGHT": false, "OLD_DOC_QELKEY": "0815"},
    {"QELKEY": "1003", "FILE_TYPE": "DWG", "FILE": "%WORKSPACE%\\b.vdr", "OLD_DOC_QELKEY": "0816", "OBSOLETE": true},
    {"QELKEY": 1004, "FILE_TYPE": "DWG", "FILE": "C:\\Work\\c.vdr", "OLD_DOC_QELKEY": " "}
  ],
  "references": [
    {"parent": "1001", "child": "1002"}, {"parent": "1001", "child": "1003"}, {"parent": "1001", "child": "1004"}
  ],
  "currentDocument": "1002"
}
)json";
}
