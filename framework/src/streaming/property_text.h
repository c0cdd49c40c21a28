#pragma once

// Plain-text forms of property values, shared by the form writer and the
// designer's default property editor: enumerators and booleans by name, sets
// as [a, b], numbers in the shortest form that reads back the same.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/typinfo.h"

namespace tessel::detail {

// An ordinal value of type as text: a number, True/False, an enumerator, a set.
std::string OrdinalText(const TTypeInfo& type, std::int64_t value);
// The value of text for type, or none when it is not one (an unknown name,
// a number out of range, a malformed set). Sets accept [a, b] and [a,b].
std::optional<std::int64_t> ParseOrdinal(const TTypeInfo& type, std::string_view text);
// A double in the shortest text that reads back to the same value.
std::string FloatText(double value);
std::optional<double> ParseFloat(std::string_view text);
// An integer within [min, max], or none.
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace tessel::detail
