#include "CDrawing.h"
#include "CTextFile.h"

namespace {
constexpr wchar_t kHeader[] = L"VECTA DRAWING 1";
}

CDrawing::CDrawing() : m_lines{kHeader} {}

bool CDrawing::Load(const std::wstring& path) {
    std::wstring text;
    if (!CTextFile::Read(path, text)) return false;
    m_lines = CTextFile::Lines(text);
    return true;
}

bool CDrawing::Save(const std::wstring& path) const { return CTextFile::Write(path, Text()); }

std::wstring CDrawing::Text() const {
    std::wstring text;
    for (const auto& line : m_lines) text += line + L"\n";
    return text;
}

bool CDrawing::Split(const std::wstring& line, std::wstring& name, std::wstring& value) {
    const size_t eq = line.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return false;
    name = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

std::wstring CDrawing::Value(const std::wstring& name) const {
    std::wstring n, v;
    for (const auto& line : m_lines)
        if (Split(line, n, v) && n == name) return v;
    return {};
}

bool CDrawing::Set(const std::wstring& name, const std::wstring& value) {
    std::wstring n, v;
    for (auto& line : m_lines) {
        if (Split(line, n, v) && n == name) {
            if (v == value) return false;
            line = name + L"=" + value;
            return true;
        }
    }
    m_lines.push_back(name + L"=" + value);
    return true;
}

int CDrawing::ReplaceKey(const std::wstring& oldKey, const std::wstring& newKey) {
    int replaced = 0;
    std::wstring n, v;
    for (auto& line : m_lines) {
        if (Split(line, n, v) && (n == L"KEY" || n == L"REF") && v == oldKey) {
            line = n + L"=" + newKey;
            ++replaced;
        }
    }
    return replaced;
}

std::vector<std::wstring> CDrawing::Names(const std::wstring& prefix) const {
    std::vector<std::wstring> names;
    std::wstring n, v;
    for (const auto& line : m_lines)
        if (Split(line, n, v) && n.rfind(prefix, 0) == 0) names.push_back(n);
    return names;
}
