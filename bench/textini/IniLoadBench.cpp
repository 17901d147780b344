// CIniFile::Load of a generated 10 MB INI file, in UTF-8 and in UTF-16, against reading the
// same file's bytes with one ReadFile loop in the same run. Prints the ratios; the target is
// a Load no slower than ten times the raw read.
#include "support/CIniFile.h"
#include "support/CTextFileRead.h"
#include "support/UniqueHandle.h"
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr size_t TargetBytes = 10 * 1024 * 1024;
constexpr int Repeats = 5;

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best of several runs, so that a busy machine disturbs the figures less. The work
// returns the seconds of the part that counts.
double Best(const std::function<double()>& work) {
    double best = 1e9;
    for (int i = 0; i < Repeats; ++i) best = std::min(best, work());
    return best;
}

double Time(const std::function<void()>& work) {
    return Best([&] {
        const double start = Seconds();
        work();
        return Seconds() - start;
    });
}

// Title import sections of twenty attributes, some values outside ASCII; every tenth
// section derives from the one before.
std::wstring IniText(size_t chars) {
    std::wstring text;
    text.reserve(chars + 200);
    for (int section = 0; text.size() < chars; ++section) {
        text += L"; title block " + std::to_wstring(section) + L"\r\n[TITLE_" + std::to_wstring(section) + L"]\r\n";
        if (section % 10 == 9) text += L"SUPER=TITLE_" + std::to_wstring(section - 1) + L"\r\n";
        for (int key = 0; key < 20; ++key)
            text += L"ATTR_" + std::to_wstring(key) + L"=Gr\x00F6\x00DF" L"e " + std::to_wstring(section * 20 + key) +
                    L" mm, Stahl \x20AC" + std::wstring(key % 7 * 3, L'x') + L"\r\n";
    }
    return text;
}

std::string Utf8File(const std::wstring& text) {
    const int size = static_cast<int>(text.size());
    std::string bytes(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
    return "\xEF\xBB\xBF" + bytes;
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.valid() &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

size_t RawRead(const std::wstring& path, DWORD chunk) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    std::vector<char> buffer(chunk);
    size_t total = 0;
    DWORD read = 0;
    while (ReadFile(file.get(), buffer.data(), chunk, &read, nullptr) && read > 0) total += read;
    return total;
}

size_t ReadLinesOnly(const std::wstring& path) {
    CTextFileRead reader;
    reader.Open(path.c_str());
    wchar_t line[1000];
    size_t lines = 0;
    while (reader.ReadLineTerminated(line, 1000)) ++lines;
    return lines;
}

bool Measure(const char* name, const std::wstring& path, const std::string& bytes) {
    if (!WriteWholeFile(path, bytes)) {
        std::printf("%s: cannot write %ls\n", name, path.c_str());
        return false;
    }
    bool usable = false;
    RawRead(path, 64 * 1024);  // warm the cache
    const double raw64k = Time([&] { RawRead(path, 64 * 1024); });
    const double raw1k = Time([&] { RawRead(path, 1024); });
    const double lines = Time([&] { ReadLinesOnly(path); });
    // Load alone: building and freeing the object are not part of it.
    const double load = Best([&] {
        CIniFile ini;
        const double start = Seconds();
        const bool loaded = ini.Load(path);
        const double seconds = Seconds() - start;
        usable = loaded && ini.HasEntries();
        return seconds;
    });
    DeleteFileW(path.c_str());
    std::printf("%-6s %5.1f MB  raw 64K %7.2f ms  raw 1K %7.2f ms  lines only %7.2f ms  Load %7.2f ms\n", name,
                bytes.size() / 1048576.0, raw64k * 1e3, raw1k * 1e3, lines * 1e3, load * 1e3);
    std::printf("%-6s Load / raw read (64 KB loop) = %.1f   Load / raw read (1 KB loop) = %.1f   "
                "line reading share of Load = %.0f%%\n",
                name, load / raw64k, load / raw1k, 100.0 * lines / load);
    if (!usable) std::printf("%s: the generated file did not load\n", name);
    return usable;
}

std::string AnsiFile(const std::wstring& text) {
    const int size = static_cast<int>(text.size());
    std::string bytes(WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

}  // namespace

int main() {
    const std::string utf8 = Utf8File(IniText(TargetBytes * 9 / 10));
    const std::string utf16 = Utf16File(IniText(TargetBytes / 2));
    // ANSI is not part of the target but is what most title import files are.
    const std::string ansi = AnsiFile(IniText(TargetBytes));
    const bool ok = Measure("UTF-8", L"bench_utf8.ini", utf8) & Measure("UTF-16", L"bench_utf16.ini", utf16) &
                    Measure("ANSI", L"bench_ansi.ini", ansi);
    return ok ? 0 : 1;
}
