#pragma once
#include <string>
#include <string_view>

// Paths the component hands to Vecta or writes for it. Vecta resolves any other than an
// absolute path in its working folder, the workspace, where checked-out files lie.
class CAbsolutePath {
public:
    // A drive letter, ":" and "\" or "/" ("C:\x", "C:/x"), or a UNC path "\\server\share"
    // (either slash). Not "C:x", "\x" or a bare name.
    static bool IsAbsolute(std::wstring_view path) noexcept;
    // True for an absolute path; otherwise an Error entry naming the operation and the path.
    [[nodiscard]] static bool Accept(const wchar_t* operation, const std::wstring& path);
};
