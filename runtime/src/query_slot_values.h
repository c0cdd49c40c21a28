#pragma once

// Reading the values of record slots the way the search and the sort compare
// them, without a trip through the fields: the column's type code says how
// the value area is laid out (see the record buffer in Tessel.h).

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

inline unsigned char Folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

inline bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

// Dictionary order: letters are compared without regard to case first, and
// case decides only between texts that are otherwise equal, a lower-case
// letter before its capital (so "adams" < "Brown" < "Smith", "abc" < "Abc").
// Returns -1, 0 or 1.
inline int CollateText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  int case_order = 0;
  for (; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const unsigned char fa = Folded(a[i]);
    const unsigned char fb = Folded(b[i]);
    if (fa != fb) return fa < fb ? -1 : 1;
    // Same letter in another case: lower case (the larger byte) first.
    if (case_order == 0)
      case_order = static_cast<unsigned char>(a[i]) > static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return case_order;
}

}  // namespace tessel::slots
