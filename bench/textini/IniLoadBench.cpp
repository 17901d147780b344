// CIniFile::Load against the fastest plain read of the same bytes in the same run: one
// ReadFile loop with 64 KB reads. A generated 10 MB title import file in UTF-8, UTF-16
// and ANSI; the target is a Load no slower than ten times that loop for each of them.
// A Load keeps the text, so beside it: the same loop copying every block into memory
// taken for the whole file, the fastest way to read the bytes and keep them.
// Then the memory a Load takes against the file's size, each case in a child process of
// its own so that the peak belongs to that Load alone: 50 MB of distinct entries, in
// sections of twenty, in one section or in sections of one short key each (target at most
// twice the file), and 50 MB that keep replacing one section or one key (target: bounded by
// what is kept, not by the file). Last, the distinct entries loaded a second time into the
// object that holds them already: a load works on a copy of the earlier sections, so that one
// that runs out of memory keeps them, and its peak shows that copy.
#include "support/CIniFile.h"
#include "support/COutsideValue.h"
#include "support/CTextFileRead.h"
#include "support/UniqueHandle.h"
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr size_t SpeedBytes = 10 * 1024 * 1024;
constexpr size_t MemoryBytes = 50 * 1024 * 1024;
constexpr int Repeats = 5;
constexpr double MB = 1048576.0;

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

// One title import section of twenty attributes, some values outside ASCII; every tenth
// section derives from the one before. Keys and values carry the numbers given.
std::wstring SectionText(const std::wstring& name, int number, int valueNumber) {
    std::wstring text = L"; title block " + std::to_wstring(number) + L"\r\n[" + name + L"]\r\n";
    if (number % 10 == 9) text += L"SUPER=TITLE_" + std::to_wstring(number - 1) + L"\r\n";
    for (int key = 0; key < 20; ++key)
        text += L"ATTR_" + std::to_wstring(key) + L"=Gr\x00F6\x00DF" L"e " + std::to_wstring(valueNumber * 20 + key) +
                L" mm, Stahl \x20AC" + std::wstring(key % 7 * 3, L'x') + L"\r\n";
    return text;
}

std::wstring IniText(size_t chars) {
    std::wstring text;
    text.reserve(chars + 1000);
    for (int section = 0; text.size() < chars; ++section)
        text += SectionText(L"TITLE_" + std::to_wstring(section), section, section);
    return text;
}

std::string Encode(UINT codePage, const std::wstring& text) {
    const int size = static_cast<int>(text.size());
    std::string bytes(WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                        nullptr);
    return bytes;
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

UniqueHandle CreateForWriting(const std::wstring& path) {
    return UniqueHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Append(const UniqueHandle& file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    const UniqueHandle file = CreateForWriting(path);
    return file.valid() && Append(file, bytes);
}

constexpr DWORD ReadChunk = 64 * 1024;

UniqueHandle OpenForReading(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The file in 64 KB reads into one buffer, each block handed to take (bytes, count).
template <class Take>
size_t ReadBlocks(const UniqueHandle& file, Take take) {
    std::vector<char> buffer(ReadChunk);
    size_t total = 0;
    DWORD read = 0;
    while (ReadFile(file.get(), buffer.data(), ReadChunk, &read, nullptr) && read > 0) {
        take(buffer.data(), read, total);
        total += read;
    }
    return total;
}

size_t RawRead(const std::wstring& path) {
    return ReadBlocks(OpenForReading(path), [](const char*, DWORD, size_t) {});
}

// Seconds to read the file and keep its bytes; releasing them is not part of it, as
// destroying the model is not part of a Load.
double ReadAndKeep(const std::wstring& path) {
    const double start = Seconds();
    const UniqueHandle file = OpenForReading(path);
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    auto* kept = static_cast<char*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(size.QuadPart) + ReadChunk,
                                                 MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!kept) return 0;
    ReadBlocks(file, [kept](const char* bytes, DWORD read, size_t at) { std::memcpy(kept + at, bytes, read); });
    const double seconds = Seconds() - start;
    VirtualFree(kept, 0, MEM_RELEASE);
    return seconds;
}

// The bench's files lie in its working folder; file calls take them as checked full paths.
CCheckedPath FullPath(const std::wstring& name) {
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(name.c_str(), MAX_PATH, full, nullptr);
    return COutsideValue::Path(L"IniLoadBench", std::wstring(full, length < MAX_PATH ? length : 0)).value();
}

// The lines as Load reads them.
size_t ReadLinesOnly(const std::wstring& path) {
    CTextFileRead reader;
    reader.Open(FullPath(path));
    std::string_view line;
    size_t lines = 0;
    while (reader.ReadLineCesu8(line, 1000)) ++lines;
    return lines;
}

bool MeasureSpeed(const char* name, const std::wstring& path, const std::string& bytes) {
    if (!WriteWholeFile(path, bytes)) {
        std::printf("%s: cannot write %ls\n", name, path.c_str());
        return false;
    }
    bool usable = false;
    const CCheckedPath checked = FullPath(path);
    RawRead(path);  // warm the cache
    const double raw = Time([&] { RawRead(path); });
    const double keep = Best([&] { return ReadAndKeep(path); });
    const double lines = Time([&] { ReadLinesOnly(path); });
    // Load alone: building and freeing the object are not part of it.
    const double load = Best([&] {
        CIniFile ini;
        const double start = Seconds();
        const bool loaded = ini.Load(checked);
        const double seconds = Seconds() - start;
        usable = loaded && ini.HasEntries();
        return seconds;
    });
    DeleteFileW(path.c_str());
    const double megabytes = bytes.size() / MB;
    std::printf("%-6s %5.1f MB  raw read (64 KB loop) %7.2f ms  read and keep %7.2f ms  lines only %7.2f ms  "
                "Load %7.2f ms = %.0f MB/s\n",
                name, megabytes, raw * 1e3, keep * 1e3, lines * 1e3, load * 1e3, megabytes / load);
    std::printf("%-6s Load / raw read = %.1f  target <= 10: %s  (keeping the bytes alone %.1f, line reading alone "
                "%.1f; Load / read and keep = %.1f)\n",
                name, load / raw, load <= 10 * raw ? "met" : "not met", keep / raw, lines / raw, load / keep);
    if (!usable) std::printf("%s: the generated file did not load\n", name);
    return usable;
}

// The file of a memory case, written a section at a time so that the bench itself stays small.
bool WriteMemoryCase(const std::wstring& path, const std::string& which) {
    const UniqueHandle file = CreateForWriting(path);
    if (!file.valid() || !Append(file, "\xEF\xBB\xBF")) return false;
    size_t written = 3;
    std::string pending;
    for (int section = 0; written + pending.size() < MemoryBytes; ++section) {
        std::wstring text;
        if (which == "distinct" || which == "again")  // title import sections of twenty keys each
            text = SectionText(L"TITLE_" + std::to_wstring(section), section, section);
        else if (which == "keys")  // one section of distinct keys
            for (int key = section * 20; key < section * 20 + 20; ++key)
                text += L"KEY_" + std::to_wstring(key) + L"=value " + std::to_wstring(key) + L"\r\n";
        else if (which == "tiny")  // sections of one short key each
            text = L"[S" + std::to_wstring(section) + L"]\r\nkey=value " + std::to_wstring(section) + L"\r\n";
        else if (which == "sections")  // the same section again and again
            text = SectionText(L"TITLE", 0, section);
        else  // one key set again and again
            text = L"ATTR=Gr\x00F6\x00DF" L"e " + std::to_wstring(section) + L" mm\r\n";
        if (section == 0 && (which == "keys" || which == "key")) text = L"[TITLE]\r\n" + text;
        pending += Encode(CP_UTF8, text);
        if (pending.size() >= 1 << 20) {
            if (!Append(file, pending)) return false;
            written += pending.size();
            pending.clear();
        }
    }
    return Append(file, pending);
}

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

double Megabytes(SIZE_T after, SIZE_T before) { return (static_cast<double>(after) - static_cast<double>(before)) / MB; }

// Runs in a child process of its own: the peaks it reads belong to this one Load.
int MeasureMemory(const std::string& which) {
    const std::wstring path = L"bench_memory_" + std::wstring(which.begin(), which.end()) + L".ini";
    if (!WriteMemoryCase(path, which)) {
        std::printf("memory %s: cannot write %ls\n", which.c_str(), path.c_str());
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes);
    const double fileMegabytes = attributes.nFileSizeLow / MB;
    const CCheckedPath checked = FullPath(path);

    bool usable = false;
    double seconds = 0;
    PROCESS_MEMORY_COUNTERS before{}, loaded{};
    {
        CIniFile ini;
        // "again": the figures are those of the second load.
        if (which == "again") ini.Load(checked);
        before = Memory();
        const double start = Seconds();
        usable = ini.Load(checked) && ini.HasEntries();
        seconds = Seconds() - start;
        loaded = Memory();
    }
    DeleteFileW(path.c_str());
    const double peak = Megabytes(loaded.PeakWorkingSetSize, before.WorkingSetSize);
    const double kept = Megabytes(loaded.PagefileUsage, before.PagefileUsage);
    std::printf("memory %-9s %5.1f MB file  Load %6.0f ms  peak working set +%6.1f MB = %5.2f x file  "
                "committed after Load +%6.1f MB = %5.2f x file  peak committed +%6.1f MB%s\n",
                which.c_str(), fileMegabytes, seconds * 1e3, peak, peak / fileMegabytes, kept, kept / fileMegabytes,
                Megabytes(loaded.PeakPagefileUsage, before.PagefileUsage), usable ? "" : "  (did not load)");
    if (Megabytes(before.PeakWorkingSetSize, before.WorkingSetSize) > 1)
        std::printf("memory %-9s (the peak before Load was already %.1f MB above the working set)\n", which.c_str(),
                    Megabytes(before.PeakWorkingSetSize, before.WorkingSetSize));
    return usable ? 0 : 1;
}

bool RunMemoryChild(const std::string& which) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" memory " + std::wstring(which.begin(), which.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("memory %s: cannot start the child process (%lu)\n", which.c_str(), GetLastError());
        return false;
    }
    const UniqueHandle child(process.hProcess);
    const UniqueHandle thread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.get(), &code);
    return code == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "memory") == 0) return MeasureMemory(argv[2]);

    bool ok = MeasureSpeed("UTF-8", L"bench_utf8.ini", "\xEF\xBB\xBF" + Encode(CP_UTF8, IniText(SpeedBytes * 9 / 10)));
    ok &= MeasureSpeed("UTF-16", L"bench_utf16.ini", Utf16File(IniText(SpeedBytes / 2)));
    ok &= MeasureSpeed("ANSI", L"bench_ansi.ini", Encode(CP_ACP, IniText(SpeedBytes)));
    for (const char* which : {"distinct", "keys", "tiny", "sections", "key", "again"}) ok &= RunMemoryChild(which);
    // A benchmark reports; it never fails the run.
    if (!ok) std::printf("some measurements could not be made\n");
    return 0;
}
