#pragma once
#include <windows.h>
#include <oaidl.h>
#include <string>
#include <vector>

// The call trace tests read (format in README.md). Without a file nothing is written.
class CTrace {
public:
    explicit CTrace(std::wstring path) : m_path(std::move(path)) {}

    void Record(const std::wstring& object, const std::wstring& member,
                const std::vector<std::wstring>& args, HRESULT hr) const;

    static std::wstring Text(const wchar_t* text);
    static std::wstring Text(const std::wstring& text) { return Text(text.c_str()); }
    static std::wstring Arg(const VARIANT& value);

private:
    std::wstring m_path;
};
