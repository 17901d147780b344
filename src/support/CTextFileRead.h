#pragma once
#include "CCheckedPath.h"
#include "UniqueHandle.h"
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Reads a text file line by line as UTF-16, whatever its encoding (ANSI in the system code
// page, UTF-8, UTF-16 in either byte order). The encoding comes from the byte order mark or,
// without one, from the platform's IsTextUnicode test.
class CTextFileRead {
public:
    enum Encoding : int32_t { Ansi = 0, Utf16BigEndian = 1, Utf16LittleEndian = 2, Utf8 = 3 };

    CTextFileRead() = default;
    CTextFileRead(const CTextFileRead&) = delete;
    CTextFileRead& operator=(const CTextFileRead&) = delete;
    virtual ~CTextFileRead() = default;

    // Opens for reading, shared with other readers and writers; check IsOpen afterwards.
    void Open(const CCheckedPath& path);
    bool IsOpen() const noexcept { return m_file.valid(); }
    // Set once a read finds no more bytes; callers read lines while it is clear.
    bool IsEndOfFile() const noexcept { return m_endOfFile; }
    Encoding GetEncoding() const noexcept { return m_encoding; }
    // Fills buffer (size characters) with zeros, then with the next line, terminated.
    bool ReadLine(wchar_t* buffer, int32_t size);
    // The same line as ReadLine, but only the line and its terminator are written; for
    // callers that use the text alone and read many lines.
    bool ReadLineTerminated(wchar_t* buffer, int32_t size);
    // The same line as ReadLineTerminated(size) gives, as CESU-8 (Cesu8.h), for callers that
    // keep text in that form; line stays valid until the next read, Open or Close, and
    // ReadableBeyondLine bytes after its end may be read too (a block at a time).
    bool ReadLineCesu8(std::string_view& line, int32_t size);
    static constexpr size_t ReadableBeyondLine = 16;
    bool Close() noexcept;

private:
    // Read in large blocks: under Wine a 1 KB ReadFile costs nearly as much as a 64 KB one.
    static constexpr int32_t BlockBytes = 64 * 1024;
    // The encoding test looks at the first kilobyte of a file only, whatever the block size.
    static constexpr int32_t DetectionBytes = 1024;

    void DetectEncoding();
    void Rewind() noexcept;
    bool ReadByte(uint8_t& b);
    bool ReadByteAtBlockEdge(uint8_t& b);
    template <class Unit>
    bool TakePushedBack(Unit& unit, Unit pushed) noexcept;
    bool DropPendingMark();
    bool DecodeUtf8(wchar_t& c);
    template <bool BigEndian>
    bool DecodeUtf16(wchar_t& c);
    template <class Chunk, class High>
    int32_t TakePlainBytes(uint8_t*& out, int32_t max, Chunk chunk, High high) noexcept;
    int32_t TakePlainUtf8(wchar_t*& out, int32_t max) noexcept;
    template <bool BigEndian>
    int32_t TakePlainUtf16(wchar_t*& out, int32_t max) noexcept;
    template <bool BigEndian>
    int32_t TakePlainUtf16Cesu8(uint8_t*& out, int32_t max) noexcept;
    template <class Sink, class Decode, class TakePlain>
    bool ReadCharLine(Sink& sink, int32_t size, Decode decode, TakePlain takePlain);
    template <class Unit, class Sink, class ReadUnit, class TakePlain>
    int32_t ReadLineUnits(Sink& sink, int32_t limit, Unit& pushed, ReadUnit read, TakePlain takePlain);
    int32_t ReadAnsiLine(wchar_t* buffer, int32_t size);

    UniqueHandle m_file;
    Encoding m_encoding = Ansi;
    bool m_endOfFile = false;
    std::unique_ptr<uint8_t[]> m_block;  // BlockBytes, allocated by the first Open
    int32_t m_blockSize = 0;
    int32_t m_position = -1;
    int32_t m_markLength = 0;
    bool m_markPending = true;
    bool m_pushedBack = false;
    uint8_t m_pushedByte = 0;
    wchar_t m_pushedChar = 0;
    bool m_firstLine = true;
    std::vector<char> m_lineBytes;    // ANSI line work buffer; reused, only grows
    std::vector<uint8_t> m_lineText;  // the CESU-8 line handed out; reused, only grows
    std::vector<wchar_t> m_wideLine;  // a double-byte ANSI line before it is encoded
};
