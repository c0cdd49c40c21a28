// UTF-8 decoding for the checks of texts before they are sent.

#include "values/text_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "collation/code_page.h"

namespace tessel::values {
namespace {

// Decodes the sequence at Text[i]; returns its length, 0 when it is not a
// well-formed UTF-8 sequence (overlong forms, surrogates and values past
// U+10FFFF included).
std::size_t Decode(std::string_view Text, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(Text[i + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
    min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
    min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > Text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// The characters of code page 1252 outside Latin-1's printable range.
constexpr char32_t kWindows1252Extras[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                           0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                           0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};

bool InCodePage1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return true;
  return std::find(std::begin(kWindows1252Extras), std::end(kWindows1252Extras), cp) !=
         std::end(kWindows1252Extras);
}

// Whether code page CodePage holds cp; every known code page holds ASCII.
bool InCodePage(char32_t cp, int CodePage) {
  if (cp < 0x80 || CodePage == kUnicode || CodePage == kUtf8CodePage) return true;
  if (CodePage == 1252) return InCodePage1252(cp);
  const collation::CodePage* page = collation::FindCodePage(CodePage);
  return page == nullptr || page->Holds(cp);
}

}  // namespace

bool KnownCodePage(int CodePage) {
  return CodePage == kUnicode || CodePage == kUtf8CodePage ||
         collation::FindCodePage(CodePage) != nullptr;
}

TextProblem FindTextProblem(std::string_view Text, int CodePage) {
  TextProblem problem;
  for (std::size_t i = 0; i < Text.size();) {
    char32_t cp = 0;
    const std::size_t length = Decode(Text, i, cp);
    if (length == 0) {
      problem.Kind = TextFault::NotUtf8;
      problem.Offset = i;
      return problem;
    }
    if (!InCodePage(cp, CodePage)) {
      problem.Kind = TextFault::NotInCodePage;
      problem.Offset = i;
      problem.Character = std::string(Text.substr(i, length));
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
      problem.CodePoint = name;
      return problem;
    }
    i += length;
  }
  return problem;
}

bool IsAscii(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::size_t CodePointCount(std::string_view Text) {
  return static_cast<std::size_t>(std::count_if(Text.begin(), Text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::size_t ColumnLength(std::string_view Text, int CodePage) {
  if (CodePage == kUtf8CodePage) return Text.size();
  const collation::CodePage* page =
      CodePage == kUnicode ? nullptr : collation::FindCodePage(CodePage);
  if (page && page->DoubleByte()) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < Text.size();) {
      char32_t cp = 0;
      const std::size_t step = std::max<std::size_t>(1, Decode(Text, i, cp));
      char held[2];
      bytes += std::max<std::size_t>(1, page->Encode(cp, held));
      i += step;
    }
    return bytes;
  }
  std::size_t length = CodePointCount(Text);
  if (CodePage != kUnicode) return length;
  // A four-byte sequence is a character past U+FFFF: a surrogate pair.
  for (const char c : Text) length += (static_cast<unsigned char>(c) & 0xF8) == 0xF0 ? 1 : 0;
  return length;
}

}  // namespace tessel::values
