#pragma once

// Checks of the UTF-8 texts that cross the package: whether a text is valid
// UTF-8, whether the code page of a char, varchar or text column (1252 under
// the server's default collation, 1251 under Cyrillic_General_CI_AS ...)
// holds every character, and how long the text is as a column counts it.

#include <cstddef>
#include <string>
#include <string_view>

namespace tessel::values {

enum class TextFault { None, NotUtf8, NotInCodePage };

struct TextProblem {
  TextFault Kind = TextFault::None;
  std::size_t Offset = 0;  // byte offset of the offending sequence
  std::string Character;   // its UTF-8 text (NotInCodePage)
  std::string CodePoint;   // "U+03A9"
};

// Code page numbers beyond the single-byte Windows ones: 0 stands for a
// Unicode column (nchar, nvarchar, ntext), which holds every character;
// 65001 for a column of a UTF-8 collation.
inline constexpr int kUnicode = 0;
inline constexpr int kUtf8CodePage = 65001;

// Whether the package can tell which characters code page CodePage holds
// and how many bytes a text takes there: Unicode, UTF-8, 1250 to 1258 and
// the double-byte 932, 936, 949 and 950.
bool KnownCodePage(int CodePage);

// The first problem of Text: bytes that are not UTF-8 and a character code
// page CodePage lacks (none for a code page KnownCodePage does not know).
TextProblem FindTextProblem(std::string_view Text, int CodePage);

// True when every byte is below 0x80.
bool IsAscii(std::string_view Text);

// Characters (code points) of a UTF-8 text: the bytes that do not continue
// a sequence.
std::size_t CodePointCount(std::string_view Text);

// The length of a text as a column of code page CodePage counts it: UTF-16
// code units for a Unicode column (a character past U+FFFF takes two), its
// bytes in the code page otherwise (one a character in the single-byte
// ones, one or two in the double-byte ones). Text must be valid UTF-8 and
// CodePage known.
std::size_t ColumnLength(std::string_view Text, int CodePage);

}  // namespace tessel::values
