#include "fakes/CheckedPath.h"
#include "fakes/ScratchFile.h"
#include "fakes/TextBytes.h"
#include "support/CTextFileRead.h"
#include "support/Cesu8.h"
#include "support/UniqueHandle.h"
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace std::string_literals;
using namespace TextBytes;

namespace {

// Reads every line the way the INI model does: until the end-of-file flag is set.
std::vector<std::wstring> ReadAllLines(CTextFileRead& reader, int size) {
    std::vector<std::wstring> lines;
    std::vector<wchar_t> buffer(size);
    while (!reader.IsEndOfFile()) {
        if (reader.ReadLine(buffer.data(), size)) lines.emplace_back(buffer.data());
    }
    return lines;
}

struct ReaderCase {
    const char* what;
    std::string bytes;
    CTextFileRead::Encoding encoding;
    std::vector<std::wstring> lines;
    int size = 1000;
};

class TextFileReadLines : public testing::TestWithParam<ReaderCase> {};

TEST_P(TextFileReadLines, DeliversTheExpectedLines) {
    const ReaderCase& row = GetParam();
    SCOPED_TRACE(row.what);
    ScratchFile file(row.bytes);
    CTextFileRead reader;
    reader.Open(CheckedPath(file.Path()));
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.GetEncoding(), row.encoding);
    EXPECT_EQ(ReadAllLines(reader, row.size), row.lines);
    EXPECT_TRUE(reader.Close());
}

const std::wstring Long1500(1500, L'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, TextFileReadLines,
    testing::Values(
        // The UTF-8 mark is skipped and not part of the first line.
        ReaderCase{"utf8 with mark", std::string(Utf8Mark) + "A\r\nB", CTextFileRead::Utf8, {L"A", L"B"}},
        // EF BB without BF is no mark: ANSI, and the two bytes are text.
        ReaderCase{"EF BB 41 is ansi", "\xEF\xBB\x41\r\nB", CTextFileRead::Ansi,
                   {FromAnsi("\xEF\xBB") + L"A", L"B"}},
        // EF BB and nothing more: too short to tell, no line.
        ReaderCase{"EF BB only", "\xEF\xBB", CTextFileRead::Ansi, {}},
        ReaderCase{"utf16 le with mark", std::string(Utf16LeMark) + Utf16Le(L"A\r\nB"),
                   CTextFileRead::Utf16LittleEndian, {L"A", L"B"}},
        // No mark: IsTextUnicode passes a forward test for zero-extended ASCII.
        ReaderCase{"utf16 le without mark", Utf16Le(L"A\r\nB"), CTextFileRead::Utf16LittleEndian,
                   {L"A", L"B"}},
        ReaderCase{"utf16 be with mark", std::string(Utf16BeMark) + Utf16Be(L"A\r\nB"),
                   CTextFileRead::Utf16BigEndian, {L"A", L"B"}},
        // No mark: byte-swapped CR/LF pass a reverse test, so big-endian.
        ReaderCase{"utf16 be without mark", Utf16Be(L"A\r\nB"), CTextFileRead::Utf16BigEndian,
                   {L"A", L"B"}},
        // A four-byte lead and its three continuation bytes each become U+FFFD.
        ReaderCase{"utf8 four-byte sequence", std::string(Utf8Mark) + "\xF0\x9F\x98\x80",
                   CTextFileRead::Utf8, {L"\xFFFD\xFFFD\xFFFD\xFFFD"}},
        ReaderCase{"utf8 two-byte sequence", std::string(Utf8Mark) + "\xC3\xA9", CTextFileRead::Utf8, {L"\x00E9"}},
        ReaderCase{"utf8 three-byte sequence", std::string(Utf8Mark) + "\xE2\x82\xAC", CTextFileRead::Utf8,
                   {L"\x20AC"}},
        // A stray continuation byte is U+FFFD and does not swallow the next character.
        ReaderCase{"utf8 stray continuation", std::string(Utf8Mark) + "\x80" "A", CTextFileRead::Utf8,
                   {L"\xFFFD" L"A"}},
        // Continuation bytes are not checked: C3 41 decodes as one character.
        ReaderCase{"utf8 unchecked continuation", std::string(Utf8Mark) + "\xC3\x41", CTextFileRead::Utf8,
                   {L"\x00C1"}},
        // The same rules inside a line as at its start.
        ReaderCase{"utf8 sequences inside a line", std::string(Utf8Mark) + "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x80" "B",
                   CTextFileRead::Utf8, {L"A\x00E9\x20AC\xFFFD\xFFFD\xFFFD" L"B"}},
        // A two-byte form of CR or LF is a line break like the byte itself.
        ReaderCase{"utf8 long forms of CR and LF", std::string(Utf8Mark) + "AB\xC0\x8D" "CD\xC0\x8A" "E",
                   CTextFileRead::Utf8, {L"AB", L"CD", L"E"}},
        // Surrogate halves pass through as they are.
        ReaderCase{"utf16 surrogates", std::string(Utf16LeMark) + Utf16Le(L"\xD83D\xDE00"),
                   CTextFileRead::Utf16LittleEndian, {L"\xD83D\xDE00"}},
        // A trailing odd byte of UTF-16 is not a character.
        ReaderCase{"utf16 odd tail", std::string(Utf16LeMark) + Utf16Le(L"AB") + "C",
                   CTextFileRead::Utf16LittleEndian, {L"AB"}},
        // Size 1000: at most 999 bytes per ANSI line; the rest comes as the next line.
        ReaderCase{"long ansi line", std::string(1500, 'x'), CTextFileRead::Ansi,
                   {Long1500.substr(0, 999), Long1500.substr(0, 501)}},
        // Size 1000: at most 997 characters per line in the other encodings.
        ReaderCase{"long utf16 line", std::string(Utf16LeMark) + Utf16Le(Long1500),
                   CTextFileRead::Utf16LittleEndian, {Long1500.substr(0, 997), Long1500.substr(0, 503)}},
        ReaderCase{"long utf8 line", std::string(Utf8Mark) + std::string(1500, 'x'), CTextFileRead::Utf8,
                   {Long1500.substr(0, 997), Long1500.substr(0, 503)}},
        // The smallest size that still makes progress splits a line unit by unit.
        ReaderCase{"smallest ansi size", "abc", CTextFileRead::Ansi, {L"a", L"b", L"c"}, 2},
        ReaderCase{"smallest char size", std::string(Utf8Mark) + "abc", CTextFileRead::Utf8, {L"a", L"b", L"c"}, 4},
        // The empty line right after a line is not delivered.
        ReaderCase{"one empty line skipped", "A\r\n\r\nB", CTextFileRead::Ansi, {L"A", L"B"}},
        // Two empty lines in a row deliver one.
        ReaderCase{"two empty lines", "A\r\n\r\n\r\nB", CTextFileRead::Ansi, {L"A", L"", L"B"}},
        ReaderCase{"two empty lines utf16", std::string(Utf16LeMark) + Utf16Le(L"A\r\n\r\n\r\nB"),
                   CTextFileRead::Utf16LittleEndian, {L"A", L"", L"B"}},
        ReaderCase{"lone CR ends a line", "A\rB", CTextFileRead::Ansi, {L"A", L"B"}},
        ReaderCase{"lone LF ends a line", "A\nB", CTextFileRead::Ansi, {L"A", L"B"}},
        ReaderCase{"LF LF LF", "A\n\n\nB", CTextFileRead::Ansi, {L"A", L"", L"B"}},
        // A break at the very start is an empty first line.
        ReaderCase{"leading break", "\r\nA", CTextFileRead::Ansi, {L"", L"A"}},
        ReaderCase{"one byte", "A", CTextFileRead::Ansi, {}},
        ReaderCase{"empty file", "", CTextFileRead::Ansi, {}},
        ReaderCase{"last line without break", "A\r\nBC", CTextFileRead::Ansi, {L"A", L"BC"}},
        ReaderCase{"two bytes", "AB", CTextFileRead::Ansi, {L"AB"}},
        // A final break gives no extra empty line, in either form.
        ReaderCase{"trailing breaks ansi", "A\r\n\r\n", CTextFileRead::Ansi, {L"A"}},
        ReaderCase{"trailing breaks utf8", std::string(Utf8Mark) + "A\r\n\r\n", CTextFileRead::Utf8, {L"A"}},
        ReaderCase{"mark only", std::string(Utf16LeMark), CTextFileRead::Utf16LittleEndian, {}},
        // ANSI goes through the system code page.
        ReaderCase{"ansi code page", "caf\xE9", CTextFileRead::Ansi, {FromAnsi("caf\xE9")}}));

TEST(TextFileRead, ForwardTestOfThePlatformDecidesLittleEndian) {
    // The row "utf16 le without mark" relies on the platform reporting a forward test.
    const std::string bytes = Utf16Le(L"A\r\nB");
    int tests = 0xFF;
    IsTextUnicode(bytes.data(), static_cast<int>(bytes.size()), &tests);
    EXPECT_NE(tests & 0x0F, 0);
}

TEST(TextFileRead, FillsTheWholeBufferWithZeros) {
    ScratchFile file("A\r\n");
    CTextFileRead reader;
    reader.Open(CheckedPath(file.Path()));
    std::vector<wchar_t> buffer(50, L'#');
    ASSERT_TRUE(reader.ReadLine(buffer.data(), 50));
    EXPECT_EQ(std::wstring(buffer.data(), 50), L"A" + std::wstring(49, L'\0'));
    std::fill(buffer.begin(), buffer.end(), L'#');
    EXPECT_FALSE(reader.ReadLine(buffer.data(), 50));
    EXPECT_EQ(std::wstring(buffer.data(), 50), std::wstring(50, L'\0'));
}

TEST(TextFileRead, RejectsSizesThatCannotHoldAUnit) {
    ScratchFile file(std::string(Utf8Mark) + "abc");
    CTextFileRead reader;
    reader.Open(CheckedPath(file.Path()));
    wchar_t buffer[3] = {L'#', L'#', L'#'};
    EXPECT_FALSE(reader.ReadLine(buffer, 3));
    EXPECT_FALSE(reader.ReadLine(buffer, 0));
    EXPECT_FALSE(reader.ReadLine(nullptr, 10));
    EXPECT_FALSE(reader.IsEndOfFile());
    EXPECT_EQ(buffer[0], L'\0');
}

TEST(TextFileRead, MissingFileStaysClosed) {
    CTextFileRead reader;
    reader.Open(CheckedPath(L"C:\\no such folder\\no such file.ini"));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_FALSE(reader.Close());
}

TEST(TextFileRead, CloseResetsForTheNextFile) {
    // A UTF-8 file leaves a three-byte mark and a pushed-back character behind; the ANSI
    // file read next must lose neither its first bytes nor its first line.
    ScratchFile utf8(std::string(Utf8Mark) + "one\r\ntwo\r\n");
    ScratchFile ansi("abc\r\n\r\ndef");
    ScratchFile utf16(std::string(Utf16BeMark) + Utf16Be(L"\r\nx"));
    CTextFileRead reader;
    reader.Open(CheckedPath(utf8.Path()));
    EXPECT_EQ(ReadAllLines(reader, 100), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_TRUE(reader.Close());
    EXPECT_FALSE(reader.Close());
    reader.Open(CheckedPath(ansi.Path()));
    EXPECT_EQ(reader.GetEncoding(), CTextFileRead::Ansi);
    EXPECT_EQ(ReadAllLines(reader, 100), (std::vector<std::wstring>{L"abc", L"def"}));
    // Open without Close in between behaves the same.
    reader.Open(CheckedPath(utf16.Path()));
    EXPECT_EQ(ReadAllLines(reader, 100), (std::vector<std::wstring>{L"", L"x"}));
    EXPECT_TRUE(reader.Close());
}

TEST(TextFileRead, SharesTheFileWithWriters) {
    ScratchFile file("A\r\n");
    UniqueHandle writer(CreateFileW(file.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    CTextFileRead reader;
    reader.Open(CheckedPath(file.Path()));
    EXPECT_TRUE(reader.IsOpen());
    UniqueHandle secondWriter(CreateFileW(file.Path().c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(secondWriter.valid());
}

// Lines of random text cross the block edges, also in the middle of multi-byte characters
// and of line breaks; each encoding must give the lines back unchanged.
TEST(TextFileRead, RoundTripsAcrossBlocks) {
    std::mt19937 random(7);
    const std::wstring alphabet = L"abcxyz =[];\x00E9\x20AC\x4E2D";
    std::vector<std::wstring> lines;
    std::wstring text;
    for (int i = 0; i < 8000; ++i) {
        std::wstring line(1 + random() % 40, L' ');
        for (auto& c : line) c = alphabet[random() % alphabet.size()];
        lines.push_back(line);
        text += line + (i % 3 == 0 ? L"\r\n" : i % 3 == 1 ? L"\n" : L"\r");
    }
    struct Encoded {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"utf8", std::string(Utf8Mark) + Utf8(text)},
        {"utf16 le", std::string(Utf16LeMark) + Utf16Le(text)},
        {"utf16 be", std::string(Utf16BeMark) + Utf16Be(text)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchFile file(row.bytes);
        CTextFileRead reader;
        reader.Open(CheckedPath(file.Path()));
        EXPECT_EQ(ReadAllLines(reader, 1000), lines);
    }
}

// The CESU-8 lines are the wide lines, encoded (as far as the first NUL, where the wide
// buffer's line ends): random lines of the pieces that steer the sixteen-byte roads, longer
// than three blocks, so breaks, forms and cut lines fall across the block edges; sizes that
// cut lines inside a step too.
TEST(TextFileRead, Cesu8LinesAreTheWideLinesEncoded) {
    std::mt19937 random(11);
    const auto randomText = [&random](const std::vector<std::string>& pieces) {
        std::string bytes;
        while (bytes.size() < 200000) bytes += pieces[random() % pieces.size()];
        return bytes;
    };
    using namespace std::string_literals;
    // Well-formed forms, the forms decoded to other units (long forms, a lead E0 and its
    // long form of LF, a surrogate, cut or stray bytes, four-byte leads), breaks, controls.
    const std::vector<std::string> utf8Pieces = {
        "a", "bcdefghijklmnopq", " ", "=", "\r", "\n", "\r\n", "\t", "\0"s, "\xC3\xA9", "\xE2\x82\xAC",
        "\xE0\xA4\x80", "\xE0\x80\x8A", "\xC0\x8D", "\xC1\xBF", "\xC3", "\xC3\x41", "\x80",
        "\xED\xA0\x80", "\xF0\x9F\x98\x80", "\xFF", "\xEF\xBF\xBF", "xyzxyzxyzxyzxyzxyzxyzxyz"};
    const std::vector<std::string> ansiPieces = {"[S]", "abcdefghijklmnop", " ", "=", "\r", "\n", "\r\n",
                                                 "\t", "\xE9", "\x80", "\xFF", "caf\xE9 cr\xE8me"};
    std::wstring wide;
    for (const std::string& piece : {"ab\tcdefghijklmno"s, "\r\n"s, "\n"s, "\r"s, "="s, "\0"s})
        wide += std::wstring(piece.begin(), piece.end());
    wide += L"\x00E9\x07FF\x0800\x20AC\xD83D\xDE00\xFFFF\x0080";
    std::uniform_int_distribution<size_t> unit(0, wide.size() - 1);
    std::wstring text;
    while (text.size() < 100000) text += wide[unit(random)];
    struct Row {
        const char* what;
        std::string bytes;
        CTextFileRead::Encoding encoding;
    } rows[] = {
        {"utf8", std::string(Utf8Mark) + randomText(utf8Pieces), CTextFileRead::Utf8},
        {"utf16 le", std::string(Utf16LeMark) + Utf16Le(text), CTextFileRead::Utf16LittleEndian},
        {"utf16 be", std::string(Utf16BeMark) + Utf16Be(text), CTextFileRead::Utf16BigEndian},
        {"ansi", "[S]\r\n" + randomText(ansiPieces), CTextFileRead::Ansi},
    };
    for (const auto& row : rows) {
        ScratchFile file(row.bytes);
        // The smallest sizes that still make progress.
        for (const int32_t size : {1000, 21, row.encoding == CTextFileRead::Ansi ? 2 : 4}) {
            SCOPED_TRACE(testing::Message() << row.what << " size " << size);
            CTextFileRead wideReader, cesuReader;
            wideReader.Open(CheckedPath(file.Path()));
            cesuReader.Open(CheckedPath(file.Path()));
            ASSERT_EQ(cesuReader.GetEncoding(), row.encoding);
            std::vector<wchar_t> buffer(size);
            std::string_view line;
            size_t lines = 0;
            for (bool more = true; more; ++lines) {
                more = wideReader.ReadLine(buffer.data(), size);
                ASSERT_EQ(cesuReader.ReadLineCesu8(line, size), more) << "line " << lines;
                ASSERT_EQ(cesuReader.IsEndOfFile(), wideReader.IsEndOfFile()) << "line " << lines;
                if (more) {
                    ASSERT_EQ(line.substr(0, line.find('\0')), Cesu8::Encoded(buffer.data())) << "line " << lines;
                }
            }
            EXPECT_GT(lines, 1000u);
        }
    }
}

// Exactly one block, and one byte more, must both end cleanly (blocks of 64 KB, and 1 KB
// as they once were).
TEST(TextFileRead, FileSizesAtTheBlockEdge) {
    for (size_t size : {1023u, 1024u, 1025u, 2048u, 65535u, 65536u, 65537u, 131072u}) {
        SCOPED_TRACE(size);
        std::string bytes(size, 'k');
        bytes[500] = '\n';
        ScratchFile file(bytes);
        CTextFileRead reader;
        reader.Open(CheckedPath(file.Path()));
        const auto lines = ReadAllLines(reader, 140000);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), 500u);
        EXPECT_EQ(lines[1].size(), size - 501);
    }
}

}  // namespace
