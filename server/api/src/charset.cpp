#include "sqld/charset.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "collation/code_page.h"

namespace tessel::sqld {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code page 1252 bytes 0x80..0x9F. The five bytes Windows leaves undefined
// map to the C1 control with the same value, so they survive a round trip.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one code point at `i`, advancing it; malformed sequences yield U+FFFD
// and consume one byte so decoding resynchronises.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + extra >= s.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

char cp1252Byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
    if (kCp1252High[k] == cp) return static_cast<char>(0x80 + k);
  }
  return '?';
}

}  // namespace

void appendCodePointUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = decodeUtf8(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    appendCodePointUtf8(out, c);
  }
  return out;
}

std::string ucs2leToUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string s;
  s.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    s.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return utf16ToUtf8(s);
}

std::string utf8ToUcs2le(std::string_view utf8) {
  std::u16string s = utf8ToUtf16(utf8);
  std::string out;
  out.reserve(s.size() * 2);
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::size_t asciiPrefixLength(std::string_view text) {
  // Eight bytes at a time while no byte has its high bit set.
  std::size_t n = 0;
  for (std::uint64_t word; n + 8 <= text.size(); n += 8) {
    std::memcpy(&word, text.data() + n, 8);
    if (word & 0x8080808080808080u) break;
  }
  while (n < text.size() && static_cast<unsigned char>(text[n]) < 0x80) ++n;
  return n;
}

void appendUtf8AsCp1252(std::string& out, std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    // Runs of ASCII travel unchanged.
    std::size_t run = i + asciiPrefixLength(utf8.substr(i));
    if (run > i) {
      out.append(utf8.data() + i, run - i);
      i = run;
      continue;
    }
    out.push_back(cp1252Byte(decodeUtf8(utf8, i)));
  }
}

std::string utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  appendUtf8AsCp1252(out, utf8);
  return out;
}

std::string cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  for (char ch : cp1252) {
    auto b = static_cast<unsigned char>(ch);
    char32_t cp = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
    appendCodePointUtf8(out, cp);
  }
  return out;
}

std::string utf8WithinCp1252(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
  if (i == utf8.size()) return std::string(utf8);
  return cp1252ToUtf8(utf8ToCp1252(utf8));
}

namespace {

// The code pages of the collations (1250 to 1258, 932, 936, 949, 950);
// nullptr for 1252, which the functions above convert without a table lookup.
const collation::CodePage* codePage(int number) {
  return number == 1252 ? nullptr : collation::FindCodePage(number);
}

// Bytes a client sent as UTF-8, with each malformed sequence U+FFFD: the
// engine's text is valid UTF-8 throughout.
std::string validUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t run = i + asciiPrefixLength(bytes.substr(i));
    out.append(bytes.data() + i, run - i);
    if ((i = run) < bytes.size()) appendCodePointUtf8(out, decodeUtf8(bytes, i));
  }
  return out;
}

}  // namespace

void appendUtf8AsCodePage(std::string& out, std::string_view utf8, int number) {
  if (number == kUtf8CodePage) {
    out.append(utf8);
    return;
  }
  const collation::CodePage* page = codePage(number);
  if (!page) return appendUtf8AsCp1252(out, utf8);
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t run = i + asciiPrefixLength(utf8.substr(i));
    if (run > i) {
      out.append(utf8.data() + i, run - i);
      i = run;
      continue;
    }
    char bytes[2];
    const std::size_t n = page->Encode(decodeUtf8(utf8, i), bytes);
    out.append(n ? bytes : "?", n ? n : 1);
  }
}

std::string utf8ToCodePage(std::string_view utf8, int number) {
  std::string out;
  out.reserve(utf8.size());
  appendUtf8AsCodePage(out, utf8, number);
  return out;
}

std::string codePageToUtf8(std::string_view bytes, int number) {
  if (number == kUtf8CodePage) return validUtf8(bytes);
  const collation::CodePage* page = codePage(number);
  if (!page) return cp1252ToUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else if (!page->IsLead(b)) {
      appendCodePointUtf8(out, page->Decode(b));
    } else if (i + 1 < bytes.size()) {
      appendCodePointUtf8(out, page->Decode(b, static_cast<unsigned char>(bytes[++i])));
    } else {
      // A lead byte cut from its trail byte.
      appendCodePointUtf8(out, kReplacement);
    }
  }
  return out;
}

bool isDoubleByteCodePage(int number) {
  return number == 932 || number == 936 || number == 949 || number == 950;
}

std::size_t codePagePrefix(std::string_view utf8, int number, std::size_t limit,
                           std::size_t& length) {
  const collation::CodePage* page =
      number == kUtf8CodePage || !isDoubleByteCodePage(number) ? nullptr : codePage(number);
  std::size_t i = 0;
  length = 0;
  while (i < utf8.size()) {
    std::size_t next = i;
    const char32_t cp = decodeUtf8(utf8, next);
    std::size_t width = 1;
    if (number == kUtf8CodePage) {
      width = next - i;
    } else if (page && cp >= 0x80) {
      char bytes[2];
      width = std::max<std::size_t>(1, page->Encode(cp, bytes));
    }
    if (length + width > limit) break;
    length += width;
    i = next;
  }
  return i;
}

std::size_t codePageLength(std::string_view utf8, int number) {
  std::size_t length = 0;
  codePagePrefix(utf8, number, static_cast<std::size_t>(-1), length);
  return length;
}

std::string utf8WithinCodePage(std::string_view utf8, int number) {
  if (number == kUtf8CodePage || asciiPrefixLength(utf8) == utf8.size()) return std::string(utf8);
  return codePageToUtf8(utf8ToCodePage(utf8, number), number);
}

}  // namespace tessel::sqld
