#pragma once

// Reading the values of record slots the way the search and the sort compare
// them, without a trip through the fields: the column's type code says how
// the value area is laid out (see the record buffer in Tessel.h).

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessel::slots {

inline constexpr int kSQLIMAGE = 34;
inline constexpr int kSQLTEXT = 35;
inline constexpr int kSQLVARBINARY = 37;
inline constexpr int kSQLVARCHAR = 39;
inline constexpr int kSQLBINARY = 45;
inline constexpr int kSQLCHAR = 47;
inline constexpr int kSQLINT1 = 48;
inline constexpr int kSQLBIT = 50;
inline constexpr int kSQLINT2 = 52;
inline constexpr int kSQLINT4 = 56;
inline constexpr int kSQLDATETIM4 = 58;
inline constexpr int kSQLFLT4 = 59;
inline constexpr int kSQLMONEY = 60;
inline constexpr int kSQLDATETIME = 61;
inline constexpr int kSQLFLT8 = 62;
inline constexpr int kSQLDECIMAL = 106;
inline constexpr int kSQLNUMERIC = 108;
inline constexpr int kSQLMONEY4 = 122;
inline constexpr int kSQLINT8 = 127;
inline constexpr int kSQLUNIQUE = 36;
inline constexpr int kSQLDATE = 40;
inline constexpr int kSQLTIME = 41;
inline constexpr int kSQLDATETIME2 = 42;
inline constexpr int kSQLDATETIMEOFFSET = 43;

template <typename T>
T Read(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// A money value: a signed 32-bit high half, then the unsigned low half, in
// ten-thousandths.
inline std::int64_t MoneyUnits(const char* value) {
  const auto high = Read<std::int32_t>(value);
  const auto low = Read<std::uint32_t>(value + 4);
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low);
}

// The text of a char or varchar slot: up to its terminating zero, never past
// the value area.
inline std::string_view Text(const char* value, int area) {
  return {value, strnlen(value, static_cast<std::size_t>(area > 0 ? area : 0))};
}

// A server date-time (days since 1900-01-01, 1/300 seconds since midnight)
// as the framework's milliseconds (day 1 is 0001-01-01), the milliseconds of
// its ticks rounded as the client library cracks them. False for a value
// outside 0001-01-01 to 9999-12-31 or a time of day past midnight.
inline bool DateTimeMSecs(std::int32_t days, std::uint32_t ticks, double& msecs) {
  constexpr std::int64_t kDayOf1900 = 693596;  // day number of 1900-01-01
  constexpr std::int64_t kLastDay = 3652059;   // day number of 9999-12-31
  constexpr std::uint32_t kTicksPerDay = 300u * 60 * 60 * 24;
  const std::int64_t day = kDayOf1900 + days;
  if (ticks >= kTicksPerDay || day < 1 || day > kLastDay) return false;
  const std::int64_t ms = std::int64_t{ticks / 300} * 1000 + ((ticks % 300) * 10 + 1) / 3;
  msecs = static_cast<double>(day * 86400000 + ms);
  return true;
}

}  // namespace tessel::slots
