#pragma once
#include <string>
#include <vector>

// The content of a drawing file: lines "NAME=value" (KEY, REF, TITLE.*, PART.*), other lines
// kept as they are.
class CDrawing {
public:
    CDrawing();

    [[nodiscard]] bool Load(const std::wstring& path);
    [[nodiscard]] bool Save(const std::wstring& path) const;
    std::wstring Text() const;

    // The first value of the name, empty when absent.
    std::wstring Value(const std::wstring& name) const;
    // Sets the first line of the name or appends one; true when the content changed.
    bool Set(const std::wstring& name, const std::wstring& value);
    // Replaces oldKey by newKey in KEY and every REF; how many were replaced.
    int ReplaceKey(const std::wstring& oldKey, const std::wstring& newKey);
    // Names of the fields beginning with prefix ("TITLE."), in file order.
    std::vector<std::wstring> Names(const std::wstring& prefix) const;

private:
    static bool Split(const std::wstring& line, std::wstring& name, std::wstring& value);

    std::vector<std::wstring> m_lines;
};
