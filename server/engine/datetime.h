#pragma once

// datetime and smalldatetime: parsing the strings SQL Server accepts,
// formatting by CONVERT style, and calendar arithmetic. A datetime is held as
// one integer: ticks of 1/300 second since 1900-01-01 00:00 (negative before).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessel::sqld::engine {

// Order of day, month and year in numeric dates (SET DATEFORMAT).
enum class DateOrder : std::uint8_t { MDY, DMY, YMD, YDM, MYD, DYM };
std::optional<DateOrder> dateOrderFromName(std::string_view name);

struct CivilDate {
  int year = 1900;
  int month = 1;
  int day = 1;
};

std::int64_t daysFromCivil(int year, int month, int day);  // days since 1900-01-01
CivilDate civilFromDays(std::int64_t days);

// Parses a date/time string; nothing when it is not one.
// `minYear`: the earliest year accepted (datetime starts at 1753; date and
// datetime2 at 1).
std::optional<std::int64_t> parseDateTime(std::string_view text, DateOrder order,
                                          int minYear = 1753);
// Rounds to the minute, as smalldatetime keeps it.
std::int64_t toSmallDateTime(std::int64_t ticks);
bool inDateTimeRange(std::int64_t ticks);       // 1753-01-01 .. 9999-12-31
bool inSmallDateTimeRange(std::int64_t ticks);  // 1900-01-01 .. 2079-06-06

// CONVERT(varchar, datetime, style); style 0 is the default "Mar  5 1999 12:34PM".
std::string formatDateTime(std::int64_t ticks, int style);

std::int64_t ticksFromMilliseconds(std::int64_t ms);
int millisecondsFromTicks(std::int64_t ticksOfSecond);  // 0..299 -> 0..997

// The current local time as ticks.
std::int64_t nowTicks(bool utc);

// DATEPART/DATEADD/DATEDIFF. Part names are lower case (year, yy, month ...).
// Nothing for an unknown part.
std::optional<int> normalizeDatePart(std::string_view part);
std::int64_t datePart(int part, std::int64_t ticks, int dateFirst);
std::optional<std::int64_t> dateAdd(int part, std::int64_t amount, std::int64_t ticks);
std::int64_t dateDiff(int part, std::int64_t from, std::int64_t to);
std::string dateName(int part, std::int64_t ticks, int dateFirst);

}  // namespace tessel::sqld::engine
