#include "fakes/CheckedPath.h"
#include "fakes/FragmentedAddressSpace.h"
#include "fakes/LogReader.h"
#include "fakes/ScratchFile.h"
#include "fakes/TextBytes.h"
#include "support/CIniFile.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <atomic>
#include <new>

using namespace TextBytes;
using namespace std::string_literals;

// While not negative, the number of allocations to let through before one fails.
static std::atomic<int> g_allocationsBeforeFailure{-1};

void* operator new(std::size_t size) {
    if (g_allocationsBeforeFailure.load() >= 0 && g_allocationsBeforeFailure.fetch_sub(1) == 0) throw std::bad_alloc();
    if (void* memory = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { HeapFree(GetProcessHeap(), 0, memory); }
void operator delete(void* memory, std::size_t) noexcept { HeapFree(GetProcessHeap(), 0, memory); }

namespace {

struct IniCase {
    const char* what;
    std::string bytes;
    bool loaded;
    int32_t status;
    const wchar_t* section;  // asked for through GetSection
    IniEntries expected;     // what GetSection yields; empty: it answers false
    bool hasEntries;
};

class IniFileCases : public testing::TestWithParam<IniCase> {};

TEST_P(IniFileCases, LoadsAndResolvesSections) {
    const IniCase& row = GetParam();
    SCOPED_TRACE(row.what);
    ScratchFile file(row.bytes);
    CIniFile ini;
    EXPECT_EQ(ini.Load(CheckedPath(file.Path())), row.loaded);
    EXPECT_EQ(ini.GetStatus(), row.status);
    EXPECT_EQ(ini.GetFileName(), file.Path());
    IniEntries entries;
    EXPECT_EQ(ini.GetSection(row.section, entries), !row.expected.empty());
    EXPECT_EQ(entries, row.expected);
    EXPECT_EQ(ini.HasEntries(), row.hasEntries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniFileCases,
    testing::Values(
        // Without "]" the name is everything after "[".
        IniCase{"no closing bracket", "[Title\r\nk=v", true, 1, L"TITLE", {{L"k", L"v"}}, true},
        // The name ends at the last "]".
        IniCase{"inner bracket", "[a]b]\r\nk=v", true, 1, L"a]b", {{L"k", L"v"}}, true},
        IniCase{"empty name", "[]\r\nk=v", true, 1, L"", {{L"k", L"v"}}, true},
        // Key lines before the first section belong nowhere.
        IniCase{"keys before first section", "k0=v0\r\n[S]\r\nk=v", true, 1, L"s", {{L"k", L"v"}}, true},
        IniCase{"first equals splits", "[S]\r\na=b=c", true, 1, L"S", {{L"a", L"b=c"}}, true},
        IniCase{"empty key", "[S]\r\n=x", true, 1, L"S", {{L"", L"x"}}, true},
        IniCase{"line without equals", "[S]\r\njust text\r\nk=v", true, 1, L"S", {{L"k", L"v"}}, true},
        // Only ";" in the first column makes a comment.
        IniCase{"comments", "[S]\r\n;c=1\r\n ;d=2", true, 1, L"S", {{L" ;d", L"2"}}, true},
        // Nothing is trimmed.
        IniCase{"blanks kept", "[ S ]\r\n k = v ", true, 1, L" s ", {{L" k ", L" v "}}, true},
        // "SUPER" in any case is stored as "SUPER" and followed.
        IniCase{"Super mixed case", "[S]\r\nSuper=Base\r\n[BASE]\r\nb=1", true, 1, L"S",
                {{L"SUPER", L"Base"}, {L"b", L"1"}}, true},
        IniCase{"super lower case", "[S]\r\nsuper=Base\r\n[BASE]\r\nb=1", true, 1, L"S",
                {{L"SUPER", L"Base"}, {L"b", L"1"}}, true},
        // A line ends at a NUL character: nothing after it counts, an "=" neither.
        IniCase{"NUL ends a line", "[S]\r\nk=v\0w\r\nj\0=1\r\nl=2"s, true, 1, L"S",
                {{L"k", L"v"}, {L"l", L"2"}}, true},
        // A blank before "=" makes another key, not followed.
        IniCase{"Super with blank", "[S]\r\nSuper =Base\r\n[BASE]\r\nb=1", true, 1, L"S",
                {{L"Super ", L"Base"}}, true},
        // The base section's values win over the derived section's own.
        IniCase{"derived and base", "[DERIVED]\r\nSUPER=base\r\nx=1\r\n[BASE]\r\nx=2\r\ny=3", true, 1,
                L"Derived", {{L"SUPER", L"base"}, {L"x", L"2"}, {L"y", L"3"}}, true},
        // One level only: C is not merged, and B's "SUPER" replaces A's.
        IniCase{"one level of inheritance", "[A]\r\nSUPER=B\r\na=1\r\n[B]\r\nSUPER=C\r\nb=2\r\n[C]\r\nc=3", true, 1,
                L"a", {{L"SUPER", L"C"}, {L"a", L"1"}, {L"b", L"2"}}, true},
        IniCase{"missing base", "[S]\r\nSUPER=nowhere\r\nk=v", true, 1, L"S",
                {{L"SUPER", L"nowhere"}, {L"k", L"v"}}, true},
        // HasEntries looks at every section, not only the first.
        IniCase{"empty section beside a full one", "[A]\r\n[S]\r\nk=v", true, 1, L"A", {}, true},
        IniCase{"sections without keys", "[A]\r\n[B]\r\n", true, 1, L"A", {}, false},
        // A later section of the same name replaces the earlier one with its entries.
        IniCase{"T then t", "[T]\r\nx=1\r\n[t]\r\ny=2", true, 1, L"T", {{L"y", L"2"}}, true},
        IniCase{"later value wins", "[S]\r\nk=1\r\nk=2", true, 1, L"S", {{L"k", L"2"}}, true},
        IniCase{"later longer value wins", "[S]\r\nk=1\r\nj=x\r\nk=22", true, 1, L"S", {{L"j", L"x"}, {L"k", L"22"}},
                true},
        // Keys keep their case and differ by it.
        IniCase{"keys are case-sensitive", "[S]\r\nk=1\r\nK=2", true, 1, L"S", {{L"K", L"2"}, {L"k", L"1"}}, true},
        IniCase{"no section", "k=v\r\n;c\r\n", false, -2, L"", {}, false},
        IniCase{"empty file", "", false, -2, L"", {}, false},
        IniCase{"utf8 file", std::string(Utf8Mark) + Utf8(L"[\x00C9t\x00E9]\r\nk=\x20AC"), true, 1,
                L"\x00C9T\x00C9", {{L"k", L"\x20AC"}}, true},
        IniCase{"utf16 file", std::string(Utf16BeMark) + Utf16Be(L"[S]\r\n\r\n\r\nk=v"), true, 1, L"S",
                {{L"k", L"v"}}, true}));

TEST(IniFile, UnopenableFile) {
    CIniFile ini;
    const std::wstring path = L"C:\\no such folder\\title.ini";
    EXPECT_FALSE(ini.Load(CheckedPath(path)));
    EXPECT_EQ(ini.GetStatus(), CIniFile::StatusOpenFailed);
    EXPECT_EQ(ini.GetFileName(), path);
    EXPECT_FALSE(ini.HasEntries());
}

TEST(IniFile, GetSectionMergesIntoTheCallersMap) {
    ScratchFile file("[S]\r\nk=v\r\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Load(CheckedPath(file.Path())));
    IniEntries entries{{L"k", L"old"}, {L"z", L"9"}};
    EXPECT_FALSE(ini.GetSection(L"missing", entries));
    EXPECT_EQ(entries, (IniEntries{{L"k", L"old"}, {L"z", L"9"}}));
    EXPECT_TRUE(ini.GetSection(L"s", entries));
    EXPECT_EQ(entries, (IniEntries{{L"k", L"v"}, {L"z", L"9"}}));
}

TEST(IniFile, SecondLoadAddsSections) {
    ScratchFile first("[A]\r\na=1\r\n");
    ScratchFile second("[B]\r\nSUPER=A\r\n");
    ScratchFile none("nothing");
    CIniFile ini;
    ASSERT_TRUE(ini.Load(CheckedPath(first.Path())));
    ASSERT_TRUE(ini.Load(CheckedPath(second.Path())));
    IniEntries entries;
    EXPECT_TRUE(ini.GetSection(L"B", entries));
    EXPECT_EQ(entries, (IniEntries{{L"SUPER", L"A"}, {L"a", L"1"}}));
    // A load without sections reports -2 even though earlier sections remain.
    EXPECT_FALSE(ini.Load(CheckedPath(none.Path())));
    EXPECT_EQ(ini.GetStatus(), CIniFile::StatusNoSection);
    EXPECT_TRUE(ini.HasEntries());
}

SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// What a load keeps follows what the file keeps: sections and values replaced later do not
// stay behind, and distinct entries take less than twice the file.
TEST(IniFile, MemoryFollowsWhatIsKept) {
    struct Row {
        const char* what;
        std::string (*section)(int);
        double atMostTimesFile;
    } rows[] = {
        {"same section again and again", [](int n) { return "[TITLE]\r\nATTR_1=value " + std::to_string(n) + "\r\n"; },
         0.1},
        {"same key again and again",
         [](int n) { return (n == 0 ? std::string("[TITLE]\r\n") : "") + "ATTR=value " + std::to_string(n) + "\r\n"; },
         0.1},
        // Many sections of one short line each: a section must cost little beside its text.
        {"sections of one short key each",
         [](int n) { return "[S" + std::to_string(n) + "]\r\nkey=value " + std::to_string(n) + "\r\n"; }, 2.0},
        // Sections of twenty attributes, as title import files have them.
        {"distinct sections and keys",
         [](int n) {
             std::string section = "[TITLE_" + std::to_string(n) + "]\r\n";
             for (int key = 0; key < 20; ++key)
                 section += "ATTR_" + std::to_string(key) + "=Stahl \xE2\x82\xAC " + std::to_string(n) + " mm\r\n";
             return section;
         },
         2.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string bytes = std::string(Utf8Mark);
        for (int n = 0; bytes.size() < 4 * 1024 * 1024; ++n) bytes += row.section(n);
        ScratchFile file(bytes);
        CIniFile ini;
        const SIZE_T before = CommittedBytes();
        ASSERT_TRUE(ini.Load(CheckedPath(file.Path())));
        EXPECT_TRUE(ini.HasEntries());
        const double kept = static_cast<double>(CommittedBytes()) - static_cast<double>(before);
        EXPECT_LT(kept, row.atMostTimesFile * static_cast<double>(bytes.size()));
    }
}

// Values replaced again and again, with lengths that change, and sections read again are
// reclaimed while the file is read; the last value of each key, and the last reading of each
// section, are what is kept.
TEST(IniFile, ValuesReplacedManyTimesKeepTheLast) {
    struct Row {
        int sections;    // read in turn
        int perSection;  // lines before the next section line
        int keys;        // distinct keys, in turn
    } rows[] = {{1, 40000, 1}, {1, 40000, 10}, {1, 40000, 100}, {50, 30, 10}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.sections << " sections, " << row.keys << " keys");
        std::string bytes, name;
        std::map<std::string, IniEntries> expected;
        for (int n = 0; n < 40000; ++n) {
            if (n % row.perSection == 0) {
                name = std::to_string(n / row.perSection % row.sections);
                name.insert(name.begin(), 'S');
                bytes.append("[").append(name).append("]\r\n");
                expected[name].clear();
            }
            std::string key(1, 'k'), value(n % 3, 'x');
            key += std::to_string(n % row.keys);
            value += std::to_string(n);
            bytes.append(key).append("=").append(value).append("\r\n");
            expected[name].insert_or_assign(std::wstring(key.begin(), key.end()),
                                            std::wstring(value.begin(), value.end()));
        }
        ScratchFile file(bytes);
        CIniFile ini;
        ASSERT_TRUE(ini.Load(CheckedPath(file.Path())));
        for (const auto& [section, entries] : expected) {
            SCOPED_TRACE(section);
            IniEntries got;
            EXPECT_TRUE(ini.GetSection(std::wstring(section.begin(), section.end()), got));
            EXPECT_EQ(got, entries);
        }
    }
}

// One section of distinct keys, about 20 bytes a line.
std::string ManyKeys(int keys) {
    std::string bytes = "[S]\r\n";
    for (int n = 0; n < keys; ++n) {
        const std::string number = std::to_string(n);
        bytes.append("K").append(number).append("=Value ").append(number).append("\r\n");
    }
    return bytes;
}

std::wstring Refusal(const ScratchFile& file) {
    return L"Error: CIniFile::Load: " + file.Path() + L" is too large to load (hr = 8007000E)";
}

// In a long-running client no large hole may be left: a file loads as long as what it keeps
// fits. One that does not is refused with an Error entry, and the process carries on. Either
// way the sections of an earlier load stay.
TEST(IniFile, LoadsWhateverFitsTheAddressSpaceLeft) {
    constexpr SIZE_T MB = 1024 * 1024;
    struct Row {
        const char* what;
        int keys;
        SIZE_T leftOnly;  // 0: every hole below 64 MB is left
        bool loaded;
    } rows[] = {
        {"20,000 keys (390 KB), no hole of 64 MB", 20000, 0, true},
        {"200,000 keys (4 MB), 1 MB left", 200000, MB, false},
    };
    ScratchFile earlier("[EARLIER]\r\nk=v\r\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchFile file(ManyKeys(row.keys));
        const CCheckedPath path = CheckedPath(file.Path());
        LogReader::Remove();
        CIniFile ini;
        ASSERT_TRUE(ini.Load(CheckedPath(earlier.Path())));
        bool loaded = false;
        {
            FragmentedAddressSpace space(64 * MB);
            if (row.leftOnly) space.LeaveOnly(row.leftOnly);
            loaded = ini.Load(path);
        }
        EXPECT_EQ(loaded, row.loaded);
        EXPECT_EQ(ini.GetStatus(), row.loaded ? CIniFile::StatusLoaded : CIniFile::StatusOutOfMemory);
        IniEntries entries;
        EXPECT_TRUE(ini.GetSection(L"earlier", entries));
        EXPECT_EQ(entries, (IniEntries{{L"k", L"v"}}));
        entries.clear();
        EXPECT_EQ(ini.GetSection(L"S", entries), row.loaded);
        EXPECT_EQ(entries.size(), row.loaded ? row.keys : 0);
        EXPECT_EQ(testing::Matches(testing::Contains(Refusal(file)))(LogReader().Messages()), !row.loaded);
        EXPECT_TRUE(ini.Load(path));
    }
}

// Whichever allocation of a load fails, the load is refused as a whole: nothing of the file is
// added, nothing earlier is lost, and the log says why.
TEST(IniFile, AnyFailedAllocationRefusesTheWholeLoad) {
    // Each file reads the earlier section again and has one long enough for a key index.
    const std::string ansi = "[earlier]\r\nk=new\r\n[\xC9t\xE9]\r\n" + ManyKeys(50);
    const std::wstring text = FromAnsi(ansi);
    const std::string files[] = {ansi, Utf8(text), std::string(Utf16LeMark) + Utf16Le(text)};
    ScratchFile earlier("[EARLIER]\r\nk=v\r\n");
    for (const std::string& bytes : files) {
        ScratchFile file(bytes);
        const CCheckedPath path = CheckedPath(file.Path());
        for (int failing = 0;; ++failing) {
            SCOPED_TRACE(testing::Message() << "encoding " << &bytes - files << ", allocation " << failing);
            LogReader::Remove();
            CIniFile ini;
            ASSERT_TRUE(ini.Load(CheckedPath(earlier.Path())));
            g_allocationsBeforeFailure = failing;
            const bool loaded = ini.Load(path);
            const bool failed = g_allocationsBeforeFailure.exchange(-1) < 0;
            IniEntries entries;
            ini.GetSection(L"EARLIER", entries);
            if (!failed) {
                EXPECT_TRUE(loaded);
                EXPECT_EQ(entries, (IniEntries{{L"k", L"new"}}));
                break;
            }
            EXPECT_FALSE(loaded);
            EXPECT_EQ(ini.GetStatus(), CIniFile::StatusOutOfMemory);
            EXPECT_EQ(entries, (IniEntries{{L"k", L"v"}}));
            EXPECT_FALSE(ini.GetSection(L"S", entries));
            EXPECT_THAT(LogReader().Messages(), testing::Contains(Refusal(file)));
        }
    }
}

TEST(IniFile, OverlongLinesArriveInPieces) {
    // A 1500-character line is read as 997 characters and then the rest, parsed separately.
    const std::wstring tail = L"k=v";
    const std::wstring line = std::wstring(997, L'x') + tail;
    ScratchFile file(std::string(Utf16LeMark) + Utf16Le(L"[S]\r\n" + line));
    CIniFile ini;
    ASSERT_TRUE(ini.Load(CheckedPath(file.Path())));
    IniEntries entries;
    EXPECT_TRUE(ini.GetSection(L"S", entries));
    EXPECT_EQ(entries, (IniEntries{{L"k", L"v"}}));
}

}  // namespace
