#pragma once
#include "COwnFileName.h"
#include <string>

// An absolute path with no control character that names no device or pipe: the only path a
// file call, a host command line or a client command of ours takes. Made only by the gate
// (COutsideValue), so a value that skipped it does not compile where a path is expected.
class CCheckedPath {
public:
    const std::wstring& str() const noexcept { return m_path; }
    const wchar_t* c_str() const noexcept { return m_path.c_str(); }
    // name inside this folder, with a "\" between them unless the folder ends with a separator.
    CCheckedPath Child(const COwnFileName& name) const;

private:
    friend class COutsideValue;
    explicit CCheckedPath(std::wstring path) : m_path(std::move(path)) {}

    std::wstring m_path;
};
