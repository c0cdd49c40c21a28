#pragma once

// The single-byte Windows code pages that char, varchar and text columns
// keep their text in under SQL Server's collations (1250 Central European,
// 1251 Cyrillic, 1252 Western, 1253 Greek ... 1258 Vietnamese): the
// character each byte above 0x7F stands for, and the byte that holds a
// character. Read from ICU's converters once; any thread.

#include <array>
#include <optional>
#include <unordered_map>

namespace tessel::collation {

class CodePage {
 public:
  explicit CodePage(int number);

  // The character of a byte above 0x7F; U+FFFD for one the code page leaves
  // undefined (every byte when ICU lacks the code page).
  char32_t Decode(unsigned char byte) const { return High[byte & 0x7F]; }
  // The byte holding a character, or nothing when the code page lacks it.
  std::optional<char> Encode(char32_t character) const;
  bool Holds(char32_t character) const { return Encode(character).has_value(); }

 private:
  std::array<char32_t, 128> High{};
  std::unordered_map<char32_t, char> Back;
};

// The table of code page `number`, or nullptr when it is not one of 1250 to
// 1258.
const CodePage* FindCodePage(int number);

}  // namespace tessel::collation
