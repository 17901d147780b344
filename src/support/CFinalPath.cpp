#include "CFinalPath.h"
#include "NoImpersonation.h"
#include "UniqueHandle.h"

std::wstring CFinalPath::Of(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    }
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

std::optional<bool> CFinalPath::Is(HANDLE file, const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    wchar_t* name = nullptr;
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    }
    if (length == 0 || length >= full.size() || !name) return std::nullopt;
    const size_t nameAt = static_cast<size_t>(name - full.data());
    const std::wstring fileName(full.data() + nameAt, length - nameAt);
    full.resize(nameAt);

    UniqueHandle folder(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation, nullptr));
    if (!folder.valid()) return false;
    std::wstring expected = Of(folder.get());
    if (expected.empty()) return std::nullopt;
    if (expected.back() != L'\\') expected += L'\\';
    expected += fileName;
    const std::wstring actual = Of(file);
    if (actual.empty()) return std::nullopt;
    return CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

CFinalPath::Finding CFinalPath::Check(HANDLE file, const BY_HANDLE_FILE_INFORMATION& information, const std::wstring& path) {
    const DWORD attributes = information.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Finding::LinkOrFolder;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
            IsReparseTagNameSurrogate(tag.ReparseTag))
            return Finding::LinkOrFolder;
    }
    if (information.nNumberOfLinks > 1) return Finding::SecondName;
    return Is(file, path).value_or(true) ? Finding::Plain : Finding::Elsewhere;
}
