#include "LogReader.h"
#include <windows.h>
#include <fstream>
#include <iterator>

LogReader::LogReader(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) return;
    exists = true;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    if (!text.empty() && text[0] == L'\xFEFF') {
        hasBom = true;
        text.erase(0, 1);
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n') {
            const bool cr = i > start && text[i - 1] == L'\r';
            if (!cr) crLfOnly = false;
            lines.push_back(text.substr(start, i - start - (cr ? 1 : 0)));
            start = i + 1;
        } else if (text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n')) {
            crLfOnly = false;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
}

std::vector<std::wstring> LogReader::Entries() const {
    std::vector<std::wstring> out;
    for (const std::wstring& line : lines) out.push_back(line.size() > 24 ? line.substr(24) : line);
    return out;
}

std::vector<std::wstring> LogReader::Messages() const {
    std::vector<std::wstring> out;
    for (const std::wstring& entry : Entries())
        if (entry.rfind(L": ", 0) == 0) out.push_back(entry.substr(2));
    return out;
}

void LogReader::Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }
