#pragma once
#include <string>

// An in-process server file read as data, never loaded: the diagnosis may run elevated and
// must not run the code of whatever file a registry key names.
class CServerImage {
public:
    // Reads the file's headers and export names; false with a reason when it is not a
    // 32-bit Windows DLL.
    bool Read(const std::wstring& path, std::wstring& reason);

    bool Exports(const std::string& name) const;

private:
    std::string m_exports;  // names, each followed by a NUL
};
