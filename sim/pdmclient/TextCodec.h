#pragma once
#include <windows.h>
#include <string>

// Text and file helpers of the client: UTF-8 at the edges, UTF-16 inside.
namespace TextCodec {

std::wstring FromUtf8(const std::string& bytes);
std::string ToUtf8(const std::wstring& text);
std::string ToAnsi(const std::wstring& text);

// Decodes a text file: UTF-8 or UTF-16 (either order) by byte order mark, else UTF-8 when
// the bytes are valid UTF-8, else the ANSI code page.
std::wstring Decode(const std::string& bytes);

// Whole-file read; false with a reason when the file cannot be read.
bool ReadFileBytes(const std::wstring& path, std::string& bytes, std::wstring& error);

// Writes a temporary file beside the target and then replaces the target with it, so that a
// reader or a killed writer never sees a half-written file.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes, std::wstring& error);

// A file (not a folder) exists at the path.
bool FileExists(const std::wstring& path);

// The system's text for a Win32 error code, without the trailing line break.
std::wstring ErrorText(DWORD code);

// Case-insensitive comparison of wide texts (ordinal, upper-cased).
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

std::wstring Trim(const std::wstring& text);

bool StartsWith(const std::wstring& text, const std::wstring& prefix);

// An HRESULT as the client shows it: 0x and eight hex digits.
std::wstring HexCode(HRESULT hr);

// The database's yes: TRUE, 1, Y or YES in any case.
bool IsYes(const std::wstring& value);

}  // namespace TextCodec
