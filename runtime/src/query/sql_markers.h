#pragma once

// The ":name" parameter markers of a query's SQL text, as one scanner finds
// them for parsing, for substitution and for the prepared procedure's body,
// so the three always agree on what is a marker: a colon outside a quoted
// literal, not doubled, followed by a name that runs to the first blank,
// comma, semicolon, closing parenthesis or line break outside quotes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

struct Marker {
  std::size_t begin;  // the colon
  std::size_t end;    // one past the name
  std::string name;
};

std::vector<Marker> ScanMarkers(std::string_view text);

}  // namespace tessel
