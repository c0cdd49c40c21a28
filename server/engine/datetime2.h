#pragma once

// date, time, datetime2 and datetimeoffset. Their storage forms (see types.h):
//   date             INTEGER days since 0001-01-01
//   time             INTEGER 100-nanosecond units since midnight
//   datetime2        INTEGER days * kUnitsPerDay + units
//   datetimeoffset   TEXT "yyyy-mm-dd hh:mi:ss.fffffff +hh:mi", local to its offset
// A type's scale is its digits of fractional seconds (0 to 7).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "datetime.h"
#include "sqld/values.h"

namespace tessel::sqld::engine {

constexpr std::int64_t kUnitsPerDay = 864000000000;  // of 100 ns
// Days from 0001-01-01 to 1900-01-01, where datetime counts from.
constexpr std::int64_t kDaysTo1900 = 693595;

// One point in time, wide enough for every member of the family.
using WideDateTime = DateTime2Value;

bool isWideDateType(SqlType t);  // date, time, datetime2, datetimeoffset

// Parses the literal forms ("2024-02-29", "13:45:10.1234567",
// "2024-02-29 13:45:10.5", "2024-02-29T13:45:10+01:00") and otherwise what
// datetime accepts. Nothing when the text is not a date or time.
std::optional<WideDateTime> parseWideDateTime(std::string_view text, DateOrder order);

// Rounds the time to the type's scale; nothing when the result leaves 0001..9999.
std::optional<WideDateTime> fitWide(WideDateTime v, const TypeInfo& type);

// "2024-02-29", "13:45:10.1234567", "2024-02-29 13:45:10.12", "... +01:00".
std::string formatWide(const WideDateTime& v, const TypeInfo& type);

// CONVERT's styles for the wide types: 126 and 127 give ISO 8601 with a T
// (127 of a datetimeoffset in UTC with Z), 20/120 drop the fraction, 23 the
// date, 8/24/108 the time; others are laid out as for datetime.
std::string formatWideStyled(const WideDateTime& v, const TypeInfo& type, int style);

// Between the storage form and the parts.
std::string storedWideText(const WideDateTime& v, const TypeInfo& type);
WideDateTime wideFromInteger(std::int64_t stored, SqlType type);
std::int64_t integerFromWide(const WideDateTime& v, SqlType type);
std::optional<WideDateTime> wideFromText(std::string_view stored);

// datetime ticks (1/300 s since 1900-01-01) and back, rounding to the tick.
WideDateTime wideFromTicks(std::int64_t ticks);
std::int64_t ticksFromWide(const WideDateTime& v);

// The current time; local with the machine's offset, or UTC.
WideDateTime nowWide(bool utc);

// DATEPART, DATENAME, DATEADD and DATEDIFF over the whole range of the date
// and time types (years 0001 to 9999), to the 100 ns unit. Part codes are
// normalizeDatePart's: 0 year ... 10 millisecond, 11 microsecond,
// 12 nanosecond, 13 tzoffset, 14 iso_week.
//
// Whether a value of `type` has `part`: date has no time parts, time no date
// parts, and only datetime2 and datetimeoffset have tzoffset.
bool wideHasPart(SqlType type, int part);
std::int64_t widePart(int part, const WideDateTime& v, int dateFirst);
std::string wideName(int part, const WideDateTime& v, int dateFirst);
// A time wraps around midnight; nothing when the result leaves 0001..9999.
std::optional<WideDateTime> wideAdd(int part, std::int64_t amount, WideDateTime v, SqlType type);
// Boundaries of `part` crossed from `from` to `to`, datetimeoffset values
// compared in UTC; nothing when the count does not fit an int.
std::optional<std::int64_t> wideDiff(int part, const WideDateTime& from, const WideDateTime& to);

}  // namespace tessel::sqld::engine
