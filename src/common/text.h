// Text helpers shared by every layer: UTF-8 inside the program, UTF-16 only
// at the edges where a file format or an API demands it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates likewise.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// Little-endian byte form of UTF-16 text, as Windows stores REG_SZ data and
// as the log files are written (no BOM, no terminator added).
std::string Utf16LeBytes(std::u16string_view s);
std::u16string FromUtf16LeBytes(std::string_view bytes);

// Decodes a whole text file: UTF-8 with or without BOM, UTF-16LE with BOM.
// Without BOM, bytes that are not valid UTF-8 are read as Windows-1252 so
// that old ANSI files still load.
std::string DecodeTextFile(std::string_view bytes);

// Case mapping for the scripts Windows users of this program write in:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. Other characters
// are left alone.
char32_t UpperChar(char32_t c);
char32_t LowerChar(char32_t c);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);

// Case-insensitive comparison with the same mapping (Windows registry and
// INI names compare this way).
bool SameText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view s, std::string_view prefix);

std::string Trim(std::string_view s);  // removes characters <= U+0020 at both ends
std::string TrimRight(std::string_view s);
std::string TrimLeft(std::string_view s);

std::vector<std::string> Split(std::string_view s, char sep);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// RFC 4648 base64 with padding, no line breaks (mail headers, SMTP AUTH).
std::string Base64Encode(std::string_view bytes);

// Paths from and to UTF-8. Needed because on Windows std::filesystem::path
// built from a narrow string uses the ANSI code page, not UTF-8.
std::filesystem::path U8Path(std::string_view utf8);
std::string PathUtf8(const std::filesystem::path& p);

}  // namespace vx
