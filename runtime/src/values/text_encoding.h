#pragma once

// Checks of the UTF-8 texts that cross the package: whether a text is valid
// UTF-8, whether code page 1252 (the code page of char, varchar and text
// columns under the server's default collation) holds every character, and
// how many UTF-16 units the server needs for it.

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

// The first problem of Text: bytes that are not UTF-8 and, when
// CodePage1252, a character that code page lacks.
TextProblem FindTextProblem(std::string_view Text, bool CodePage1252);

// True when every byte is below 0x80.
bool IsAscii(std::string_view Text);

// UTF-16 code units of a valid UTF-8 text.
std::size_t Utf16Length(std::string_view Text);

}  // namespace tessel::values
