#pragma once

// Conversions between the engine's UTF-8 and the wire's encodings: UCS-2LE
// (nchar, nvarchar, ntext, request text, names) and code page 1252 (char,
// varchar, text under SQL_Latin1_General_CP1_CI_AS; the engine holds char and
// varchar as the characters of that code page). Pure functions, any thread.
// Invalid input never fails: bad UTF-8 and unpaired surrogates become U+FFFD,
// characters code page 1252 lacks become '?', as SQL Server substitutes them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessel::sqld {

// Appends code point `cp` (at most U+10FFFF) to `out` in UTF-8.
void appendCodePointUtf8(std::string& out, char32_t cp);

std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
// UTF-16LE bytes (odd trailing byte ignored) to UTF-8.
std::string ucs2leToUtf8(std::span<const std::uint8_t> bytes);
// UTF-8 to UTF-16LE bytes.
std::string utf8ToUcs2le(std::string_view utf8);
std::string utf8ToCp1252(std::string_view utf8);
// Appends the CP1252 bytes of `utf8` to `out`, as utf8ToCp1252 returns them.
void appendUtf8AsCp1252(std::string& out, std::string_view utf8);
// How many bytes at the start of `text` are ASCII (the same in UTF-8, code
// page 1252 and Latin-1).
std::size_t asciiPrefixLength(std::string_view text);
std::string cp1252ToUtf8(std::string_view cp1252);
// `utf8` as char and varchar hold it: each character code page 1252 lacks
// becomes '?'. Text that is already within the code page comes back unchanged.
std::string utf8WithinCp1252(std::string_view utf8);

// The same for the Windows code page a column's collation holds: the
// single-byte ones (1250 Central European, 1251 Cyrillic, 1253 Greek ...
// 1258) and the double-byte ones (932 Japanese, 936 and 950 Chinese, 949
// Korean), where a character may take two bytes; code page 1252, and any
// other number, as the functions above. Code page 65001 (the _UTF8
// collations) holds every character: text passes unchanged, except that
// malformed UTF-8 from a client reads as U+FFFD. A double-byte character cut
// from its second byte reads as U+FFFD.
inline constexpr int kUtf8CodePage = 65001;
std::string utf8ToCodePage(std::string_view utf8, int codePage);
void appendUtf8AsCodePage(std::string& out, std::string_view utf8, int codePage);
std::string codePageToUtf8(std::string_view bytes, int codePage);
std::string utf8WithinCodePage(std::string_view utf8, int codePage);

// Whether some characters of the code page take two bytes (932, 936, 949,
// 950): there char(n) and varchar(n) hold n bytes, not n characters.
bool isDoubleByteCodePage(int codePage);
// How many bytes `utf8` (text within the code page) takes in code page
// `codePage`: one a character, two for a double-byte one, UTF-8's own under
// 65001.
std::size_t codePageLength(std::string_view utf8, int codePage);
// The byte length in `utf8` of its longest beginning of whole characters
// that takes at most `limit` bytes in the code page, which `length` receives.
std::size_t codePagePrefix(std::string_view utf8, int codePage, std::size_t limit,
                           std::size_t& length);

}  // namespace tessel::sqld
