#pragma once

// A Locate or Lookup key field with its value converted, once, into the
// terms the field's slot holds values in (see query_locate.cpp).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "collation/text_collation.h"

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

// The bytes a key index hashes a search key by (query_locate_index.cpp):
// two keys give the same bytes exactly when they match the same records.
namespace key_bytes {

template <typename T>
inline void AppendBits(T value, std::string& out) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

// -0 and 0 compare equal, so they must hash alike.
inline void AppendNumber(double value, std::string& out) {
  AppendBits(value == 0 ? 0.0 : value, out);
}

// Templates, as SearchKey is TTessel's own.
template <typename SearchKey>
collation::Level LevelOf(const SearchKey& Key) {
  return (Key.Options & loCaseInsensitive) != 0 ? collation::Level::IgnoreCase
                                                : collation::Level::Case;
}

// Collation keys hold no zero byte: the one after each ends it.
inline void AppendText(std::string_view text, collation::Level level, std::string& out) {
  collation::AppendSortKey(text, out, level);
  out += '\0';
}

template <typename SearchKey>
void AppendSearchKey(const SearchKey& Key, std::string& out) {
  if (Key.Null) {
    out += '\0';
    return;
  }
  out += '\1';
  switch (Key.Kind) {
    case KeyKind::Text:
      AppendText(Key.Text, LevelOf(Key), out);
      return;
    case KeyKind::Largeint:
      AppendBits(Key.Integer, out);
      return;
    case KeyKind::Real:
      AppendNumber(Key.Real, out);
      return;
    default:
      AppendNumber(Key.Number, out);
      return;
  }
}

}  // namespace key_bytes

}  // namespace tessel
