// Code page tables read from ICU, once per process.

#include "collation/code_page.h"

#include <unicode/ucnv.h>

#include <string>

namespace tessel::collation {

CodePage::CodePage(int number) {
  High.fill(0xFFFD);
  UErrorCode status = U_ZERO_ERROR;
  const std::string name = "windows-" + std::to_string(number);
  UConverter* converter = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status)) return;
  for (int b = 0x80; b < 0x100; ++b) {
    status = U_ZERO_ERROR;
    const char byte = static_cast<char>(b);
    UChar unit[2];
    const std::int32_t n = ucnv_toUChars(converter, unit, 2, &byte, 1, &status);
    // ICU reads an undefined byte as the substitute character or U+FFFD.
    if (U_FAILURE(status) || n != 1 || unit[0] == 0x1A || unit[0] == 0xFFFD) continue;
    High[static_cast<std::size_t>(b - 0x80)] = unit[0];
    Back.emplace(unit[0], byte);
  }
  ucnv_close(converter);
}

std::optional<char> CodePage::Encode(char32_t character) const {
  if (character < 0x80) return static_cast<char>(character);
  const auto found = Back.find(character);
  if (found == Back.end()) return std::nullopt;
  return found->second;
}

const CodePage* FindCodePage(int number) {
  if (number < 1250 || number > 1258) return nullptr;
  static const std::array<CodePage, 9> pages = {CodePage(1250), CodePage(1251), CodePage(1252),
                                                CodePage(1253), CodePage(1254), CodePage(1255),
                                                CodePage(1256), CodePage(1257), CodePage(1258)};
  return &pages[static_cast<std::size_t>(number - 1250)];
}

}  // namespace tessel::collation
