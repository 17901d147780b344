#include "TextCodec.h"
#include "support/UniqueHandle.h"
#include <cwchar>
#include <iterator>
#include <vector>

namespace TextCodec {

namespace {

std::wstring Widen(UINT codePage, DWORD flags, const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string Narrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf16(const std::string& bytes, size_t start, bool bigEndian) {
    std::wstring out;
    out.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        out.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    return out;
}

}  // namespace

std::wstring FromUtf8(const std::string& bytes) { return Widen(CP_UTF8, 0, bytes); }
std::string ToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, text); }
std::string ToAnsi(const std::wstring& text) { return Narrow(CP_ACP, text); }

std::wstring Decode(const std::string& bytes) {
    const auto starts = [&](const char* bom, size_t n) { return bytes.size() >= n && bytes.compare(0, n, bom, n) == 0; };
    if (starts("\xEF\xBB\xBF", 3)) return FromUtf8(bytes.substr(3));
    if (starts("\xFF\xFE", 2)) return FromUtf16(bytes, 2, false);
    if (starts("\xFE\xFF", 2)) return FromUtf16(bytes, 2, true);
    if (bytes.empty()) return {};
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0) > 0)
        return FromUtf8(bytes);
    return Widen(CP_ACP, 0, bytes);
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes, std::wstring& error) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        error = ErrorText(GetLastError());
        return false;
    }
    bytes.clear();
    char block[16384];
    DWORD read = 0;
    while (ReadFile(file.get(), block, sizeof block, &read, nullptr) && read > 0) bytes.append(block, read);
    return true;
}

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes, std::wstring& error) {
    const std::wstring temporary = path + L".caiclient-tmp";
    {
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            error = L"cannot create " + temporary + L": " + ErrorText(GetLastError());
            return false;
        }
        DWORD written = 0;
        const bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size() && FlushFileBuffers(file.get());
        if (!ok) {
            error = L"cannot write " + temporary + L": " + ErrorText(GetLastError());
            file.reset();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = L"cannot replace " + path + L": " + ErrorText(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::wstring ErrorText(DWORD code) {
    wchar_t buffer[512] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"error " + std::to_wstring(code);
    return text;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring Trim(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool IsYes(const std::wstring& value) {
    for (const wchar_t* yes : {L"TRUE", L"1", L"Y", L"YES"})
        if (EqualsNoCase(value, yes)) return true;
    return false;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring HexCode(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace TextCodec
