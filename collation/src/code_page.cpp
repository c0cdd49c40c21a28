// Code page tables read from ICU, once per process.

#include "collation/code_page.h"

#include <unicode/ucnv.h>

#include <string>

namespace tessel::collation {
namespace {

// ICU's converter of each double-byte code page: the Windows tables, which
// ICU knows by these names.
const char* ConverterName(int number) {
  switch (number) {
    case 932:
      return "ibm-943_P15A-2003";
    case 936:
      return "windows-936-2000";
    case 949:
      return "windows-949-2000";
    case 950:
      return "windows-950-2000";
    default:
      return nullptr;
  }
}

// The one UTF-16 unit `bytes` decode to, or 0 when they are not exactly one
// defined character (ICU reads an undefined one as the substitute character
// or U+FFFD, and a lone lead byte as an error).
char16_t DecodeOne(UConverter* converter, const char* bytes, std::int32_t n) {
  UErrorCode status = U_ZERO_ERROR;
  UChar unit[4];
  const std::int32_t count = ucnv_toUChars(converter, unit, 4, bytes, n, &status);
  if (U_FAILURE(status) || count != 1 || unit[0] == 0x1A || unit[0] == 0xFFFD) return 0;
  return unit[0];
}

// The bytes ICU writes a character as, so that where several byte sequences
// read as one character, the one Windows writes is the one kept.
std::string EncodeOne(UConverter* converter, char16_t unit) {
  UErrorCode status = U_ZERO_ERROR;
  char bytes[4];
  const UChar source[1] = {unit};
  const std::int32_t n = ucnv_fromUChars(converter, bytes, 4, source, 1, &status);
  if (U_FAILURE(status)) return {};
  return std::string(bytes, static_cast<std::size_t>(n));
}

}  // namespace

CodePage::CodePage(int number) {
  High.fill(0xFFFD);
  UErrorCode status = U_ZERO_ERROR;
  const char* dbcs = ConverterName(number);
  Double = dbcs != nullptr;
  const std::string name = dbcs ? dbcs : "windows-" + std::to_string(number);
  UConverter* converter = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status)) return;
  const auto keep = [&](char16_t unit, const std::string& bytes, std::uint16_t code) {
    if (EncodeOne(converter, unit) == bytes) Back.emplace(unit, code);
  };
  for (int b = 0x80; b < 0x100; ++b) {
    const char byte = static_cast<char>(b);
    if (const char16_t unit = DecodeOne(converter, &byte, 1)) {
      High[static_cast<std::size_t>(b - 0x80)] = unit;
      keep(unit, std::string(1, byte), static_cast<std::uint16_t>(b));
      continue;
    }
    if (!Double) continue;
    for (int t = 0x40; t < 0xFF; ++t) {
      const char pair[2] = {byte, static_cast<char>(t)};
      const char16_t unit = DecodeOne(converter, pair, 2);
      if (!unit) continue;
      const auto code = static_cast<std::uint16_t>(b << 8 | t);
      Lead[static_cast<std::size_t>(b - 0x80)] = true;
      Pairs.emplace(code, unit);
      keep(unit, std::string(pair, 2), code);
    }
  }
  ucnv_close(converter);
}

char32_t CodePage::Decode(unsigned char lead, unsigned char trail) const {
  const auto found = Pairs.find(static_cast<std::uint16_t>(lead << 8 | trail));
  return found == Pairs.end() ? char32_t{0xFFFD} : found->second;
}

std::size_t CodePage::Encode(char32_t character, char out[2]) const {
  if (character < 0x80) {
    out[0] = static_cast<char>(character);
    return 1;
  }
  const auto found = Back.find(character);
  if (found == Back.end()) return 0;
  if (found->second < 0x100) {
    out[0] = static_cast<char>(found->second);
    return 1;
  }
  out[0] = static_cast<char>(found->second >> 8);
  out[1] = static_cast<char>(found->second & 0xFF);
  return 2;
}

const CodePage* FindCodePage(int number) {
  if (number >= 1250 && number <= 1258) {
    static const std::array<CodePage, 9> pages = {CodePage(1250), CodePage(1251), CodePage(1252),
                                                  CodePage(1253), CodePage(1254), CodePage(1255),
                                                  CodePage(1256), CodePage(1257), CodePage(1258)};
    return &pages[static_cast<std::size_t>(number - 1250)];
  }
  // Each double-byte table is read when first asked for.
  switch (number) {
    case 932: {
      static const CodePage page(932);
      return &page;
    }
    case 936: {
      static const CodePage page(936);
      return &page;
    }
    case 949: {
      static const CodePage page(949);
      return &page;
    }
    case 950: {
      static const CodePage page(950);
      return &page;
    }
    default:
      return nullptr;
  }
}

}  // namespace tessel::collation
