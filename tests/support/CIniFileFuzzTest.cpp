#include "fakes/CheckedPath.h"
#include "fakes/ScratchFile.h"
#include "fakes/TextBytes.h"
#include "support/CIniFile.h"
#include "support/CTextFileRead.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cwchar>
#include <random>

using namespace TextBytes;

namespace {

// Random and mutated files must never crash, hang or write past a buffer. The seed is
// fixed so that a failure can be replayed; the time budget keeps the suite fast.
constexpr int Iterations = 3000;
constexpr auto Budget = std::chrono::seconds(10);

// A wide buffer that ends exactly at an inaccessible page, so one character too many faults.
class GuardedBuffer {
public:
    explicit GuardedBuffer(int32_t size) : m_size(size) {
        m_base = static_cast<char*>(VirtualAlloc(nullptr, 2 * Page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (!m_base || !VirtualProtect(m_base + Page, Page, PAGE_NOACCESS, &old)) throw std::bad_alloc();
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() { VirtualFree(m_base, 0, MEM_RELEASE); }
    wchar_t* data() const { return reinterpret_cast<wchar_t*>(m_base + Page) - m_size; }

private:
    static constexpr size_t Page = 4096;
    char* m_base = nullptr;
    int32_t m_size;
};

class Fuzzer {
public:
    std::string NextFile() {
        // Now and then a file that ends just before or after the reader's first 64 KB block.
        if (m_random() % 16 == 0) return AcrossBlockEdge(Mutate(Seeds()[m_random() % Seeds().size()]));
        switch (m_random() % 3) {
        case 0: return RandomBytes(m_random() % 3000);
        default: return Mutate(Seeds()[m_random() % Seeds().size()]);
        }
    }
    uint32_t Next(uint32_t bound) { return m_random() % bound; }

private:
    static const std::vector<std::string>& Seeds() {
        static const std::wstring ini =
            L"; title import\r\n[DERIVED]\r\nSUPER=base\r\nx=1\r\n[BASE]\r\nx=2\r\ny=\x00E9\x20AC\r\n[a]b]\n=x\r[";
        static const std::vector<std::string> seeds = {
            Utf8(ini), std::string(Utf8Mark) + Utf8(ini), std::string(Utf16LeMark) + Utf16Le(ini),
            std::string(Utf16BeMark) + Utf16Be(ini), Utf16Le(ini), Utf16Be(ini)};
        return seeds;
    }

    // Bytes that steer the reader and the parser: marks, breaks, brackets, UTF-8 leads.
    char InterestingByte() {
        static const char bytes[] = "\r\n[]=;\0\xEF\xBB\xBF\xFE\xFF\xC3\xE2\xF0\x80 aS";
        return bytes[m_random() % (sizeof bytes - 1)];
    }

    std::string RandomBytes(size_t size) {
        std::string bytes(size, '\0');
        const bool interesting = m_random() % 2;
        for (auto& b : bytes) b = interesting ? InterestingByte() : static_cast<char>(m_random());
        return bytes;
    }

    std::string AcrossBlockEdge(std::string bytes) {
        constexpr size_t Block = 64 * 1024;
        if (bytes.empty()) bytes.push_back('[');
        while (bytes.size() < Block) bytes += std::string(bytes);
        bytes.resize(Block - 64 + m_random() % 128);
        return bytes;
    }

    std::string Mutate(std::string bytes) {
        for (uint32_t n = 1 + m_random() % 8; n > 0; --n) {
            const size_t at = bytes.empty() ? 0 : m_random() % bytes.size();
            switch (m_random() % 5) {
            case 0: if (!bytes.empty()) bytes[at] = InterestingByte(); break;
            case 1: bytes.insert(at, 1, static_cast<char>(m_random())); break;
            case 2: if (!bytes.empty()) bytes.erase(at, 1 + m_random() % 16); break;
            case 3: bytes.resize(at); break;
            default: bytes.insert(at, bytes.substr(at, m_random() % 1500)); break;
            }
        }
        return bytes;
    }

    std::mt19937 m_random{20240517};
};

// Feeds the check Iterations generated files, or as many as the time budget allows.
template <class Check>
void FuzzFiles(Check check) {
    Fuzzer fuzzer;
    ScratchFile file;
    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    for (; done < Iterations && std::chrono::steady_clock::now() - start < Budget; ++done) {
        const std::string bytes = fuzzer.NextFile();
        file.Write(bytes);
        SCOPED_TRACE(testing::Message() << "file " << done);
        check(file.Path(), bytes, fuzzer);
        if (testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(done, Iterations / 4) << "too slow to fuzz meaningfully";
}

TEST(IniFileFuzz, RandomFilesLoadSafely) {
    FuzzFiles([](const std::wstring& path, const std::string&, Fuzzer&) {
        CIniFile ini;
        const bool loaded = ini.Load(CheckedPath(path));
        ASSERT_EQ(ini.GetStatus(), loaded ? CIniFile::StatusLoaded : CIniFile::StatusNoSection);
        ini.HasEntries();
    });
}

TEST(IniFileFuzz, ReaderStaysInsideTheCallersBuffer) {
    FuzzFiles([](const std::wstring& path, const std::string& bytes, Fuzzer& fuzzer) {
        const int32_t size = fuzzer.Next(2) ? 1000 : static_cast<int32_t>(fuzzer.Next(40));
        GuardedBuffer buffer(size);
        CTextFileRead reader;
        reader.Open(CheckedPath(path));
        ASSERT_TRUE(reader.IsOpen());
        // The form without clearing, as the INI model reads, must deliver the same lines.
        CTextFileRead quick;
        quick.Open(CheckedPath(path));
        std::wstring quickLine(std::max(size, 1), L'#');
        // Every delivered line takes at least one unit, so there are never more lines than bytes.
        size_t lines = 0;
        while (reader.ReadLine(buffer.data(), size)) {
            ASSERT_NE(std::wmemchr(buffer.data(), L'\0', size), nullptr);
            ASSERT_LE(++lines, bytes.size());
            ASSERT_TRUE(quick.ReadLineTerminated(quickLine.data(), size));
            ASSERT_EQ(std::wstring(quickLine.c_str()), std::wstring(buffer.data()));
        }
        EXPECT_FALSE(quick.ReadLineTerminated(quickLine.data(), size));
    });
}

}  // namespace
