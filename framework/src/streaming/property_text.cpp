#include "streaming/property_text.h"

#include <charconv>
#include <cmath>

#include "framework/sysutils.h"

namespace tessel::detail {

std::string OrdinalText(const TTypeInfo& type, std::int64_t value) {
  switch (type.kind) {
    case tkBoolean:
      return value != 0 ? "True" : "False";
    case tkEnumeration:
      if (value >= 0 && static_cast<std::size_t>(value) < type.names.size()) {
        return type.names[static_cast<std::size_t>(value)];
      }
      return std::to_string(value);
    case tkSet: {
      std::string text = "[";
      for (std::size_t bit = 0; bit < type.names.size() && bit < 64; ++bit) {
        if ((static_cast<std::uint64_t>(value) >> bit) & 1U) {
          if (text.size() > 1) text += ", ";
          text += type.names[bit];
        }
      }
      return text + "]";
    }
    default:
      return std::to_string(value);
  }
}

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min,
                                         std::int64_t max) {
  std::int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ParseOrdinal(const TTypeInfo& type, std::string_view text) {
  switch (type.kind) {
    case tkBoolean:
      if (CompareText(text, "True") == 0) return 1;
      if (CompareText(text, "False") == 0) return 0;
      return std::nullopt;
    case tkEnumeration: {
      const int index = type.IndexOfName(text);
      if (index < 0) return std::nullopt;
      return index;
    }
    case tkSet: {
      std::string_view rest = text;
      if (rest.size() < 2 || rest.front() != '[' || rest.back() != ']') return std::nullopt;
      rest = rest.substr(1, rest.size() - 2);
      std::uint64_t bits = 0;
      while (!Trim(rest).empty()) {
        const std::size_t comma = rest.find(',');
        const std::string name = Trim(rest.substr(0, comma));
        const int index = type.IndexOfName(name);
        if (index < 0) return std::nullopt;
        bits |= std::uint64_t{1} << index;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
      }
      return static_cast<std::int64_t>(bits);
    }
    default:
      return ParseInteger(Trim(text), type.min_value, type.max_value);
  }
}

std::string FloatText(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
  // Keep a decimal point or exponent, so the text reads back as a float.
  if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

std::optional<double> ParseFloat(std::string_view text) {
  double value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace tessel::detail
