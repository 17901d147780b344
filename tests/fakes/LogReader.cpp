#include "LogReader.h"
#include <windows.h>
#include <cwctype>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kTimeLength = 24;

// "Www Mmm dd hh:mm:ss yyyy" at position at, followed by the ":" of an entry or the blank of
// a header line.
bool StartsWithTime(const std::wstring& text, size_t at) {
    static const wchar_t shape[] = L"aaa aaa 00 00:00:00 0000";
    if (text.size() <= at + kTimeLength) return false;
    for (size_t i = 0; i < kTimeLength; ++i) {
        const wchar_t c = text[at + i];
        const bool fits = shape[i] == L'a' ? iswalpha(c) : shape[i] == L'0' ? iswdigit(c) : c == shape[i];
        if (!fits) return false;
    }
    return text[at + kTimeLength] == L':' || text[at + kTimeLength] == L' ';
}

}  // namespace

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
    const auto close = [&](size_t start, size_t end) {
        std::wstring record = text.substr(start, end - start);
        if (record.size() >= 2 && record.compare(record.size() - 2, 2, L"\r\n") == 0)
            record.resize(record.size() - 2);
        else
            crLfOnly = false;
        records.push_back(std::move(record));
    };
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\n' || !StartsWithTime(text, i + 1)) continue;
        close(start, i + 1);
        start = i + 1;
    }
    if (start < text.size()) close(start, text.size());
}

std::vector<std::wstring> LogReader::Entries() const {
    std::vector<std::wstring> out;
    for (const std::wstring& record : records)
        out.push_back(record.size() > kTimeLength ? record.substr(kTimeLength) : record);
    return out;
}

std::vector<std::wstring> LogReader::Messages() const {
    std::vector<std::wstring> out;
    for (const std::wstring& entry : Entries())
        if (entry.rfind(L": ", 0) == 0) out.push_back(entry.substr(2));
    return out;
}

void LogReader::Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }
