#pragma once

// The literal forms of a form file shared by its writer and reader.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::detail {

// 'text' with quotes doubled; control characters (below 32) as #nn outside
// the quotes: 'one'#13#10'two'. The empty string is ''.
std::string QuoteFormString(std::string_view value);
// Lines of hexadecimal digits, bytes_per_line bytes each.
std::vector<std::string> HexLines(const std::vector<std::uint8_t>& bytes,
                                  std::size_t bytes_per_line);

}  // namespace tessel::detail
