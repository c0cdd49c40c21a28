#pragma once

// The Windows code pages that char, varchar and text columns keep their text
// in under SQL Server's collations: the single-byte ones (1250 Central
// European, 1251 Cyrillic, 1252 Western ... 1258 Vietnamese) and the
// double-byte ones of East Asia (932 Japanese, 936 Simplified Chinese, 949
// Korean, 950 Traditional Chinese), where a lead byte and the byte after it
// hold one character. The character each byte or pair stands for, and the
// bytes that hold a character. Read from ICU's converters once; any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace tessel::collation {

class CodePage {
 public:
  explicit CodePage(int number);

  // Whether some characters take two bytes.
  bool DoubleByte() const { return Double; }
  // Whether byte starts a two-byte character (never in a single-byte page).
  bool IsLead(unsigned char byte) const { return byte >= 0x80 && Lead[byte & 0x7F]; }
  // The character of a byte above 0x7F that is no lead byte; U+FFFD for one
  // the code page leaves undefined (every byte when ICU lacks the code page).
  char32_t Decode(unsigned char byte) const { return High[byte & 0x7F]; }
  // The character of a lead byte and the byte after it; U+FFFD for a pair
  // the code page leaves undefined.
  char32_t Decode(unsigned char lead, unsigned char trail) const;
  // Writes the one or two bytes holding a character to out and returns how
  // many; 0 when the code page lacks it.
  std::size_t Encode(char32_t character, char out[2]) const;
  bool Holds(char32_t character) const {
    char bytes[2];
    return Encode(character, bytes) != 0;
  }

 private:
  bool Double = false;
  std::array<char32_t, 128> High{};
  std::array<bool, 128> Lead{};
  std::unordered_map<std::uint16_t, char32_t> Pairs;  // lead << 8 | trail
  // A character's bytes: one byte as itself, two as lead << 8 | trail.
  std::unordered_map<char32_t, std::uint16_t> Back;
};

// The table of code page `number`, or nullptr when it is none of 1250 to
// 1258, 932, 936, 949 and 950.
const CodePage* FindCodePage(int number);

}  // namespace tessel::collation
