#pragma once

// A Locate or Lookup key field with its value converted, once, into the
// terms the field's slot holds values in (see query_locate.cpp).

#include <cstdint>
#include <string>

#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel {

// How a key compares with a slot: by text, as a double, a float, a 64-bit
// integer, or as a date-time, date or time in milliseconds.
enum class KeyKind : std::uint8_t { Text, Number, Real, Boolean, DateTime, Date, Time, Largeint };

// Milliseconds of day 0 (1899-12-30), the day a time field shows its value on.
inline constexpr double kTimeDayMSecs = double{DateDelta} * MSecsPerDay;

struct TTessel::SearchKey {
  const TField* Field = nullptr;
  int Offset = 0;  // of the field's slot in a record
  int Area = 0;    // bytes of the slot's value area
  int Code = 0;    // the column's type code
  KeyKind Kind = KeyKind::Number;
  bool Null = false;
  TLocateOptions Options = 0;
  std::string Text;
  double Number = 0;         // numbers, booleans (0/1), dates and times in milliseconds
  float Real = 0;            // a real column's key, at the column's precision
  std::int64_t Integer = 0;  // a bigint column's key
  bool Never = false;        // a value the field cannot show: matches nothing
};

}  // namespace tessel
