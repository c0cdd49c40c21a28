#include "streaming/form_literals.h"

namespace tessel::detail {

std::string QuoteFormString(std::string_view value) {
  if (value.empty()) return "''";
  std::string text;
  bool quoted = false;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32) {
      if (quoted) text += '\'';
      quoted = false;
      text += '#';
      text += std::to_string(byte);
      continue;
    }
    if (!quoted) text += '\'';
    quoted = true;
    text += c;
    if (c == '\'') text += '\'';
  }
  if (quoted) text += '\'';
  return text;
}

std::vector<std::string> HexLines(const std::vector<std::uint8_t>& bytes,
                                  std::size_t bytes_per_line) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < bytes.size(); start += bytes_per_line) {
    std::string line;
    for (std::size_t i = start; i < bytes.size() && i < start + bytes_per_line; ++i) {
      line += kDigits[bytes[i] >> 4];
      line += kDigits[bytes[i] & 0x0F];
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tessel::detail
