#pragma once

// The column types a server of 2008 or later sends that DB-Library's own type
// list does not have, and reading their values into the forms the fields
// keep. The client library hands a date, time, datetime2 or datetimeoffset
// value over as 16 bytes: the time of day in 100-nanosecond units (64 bits),
// the day (32 bits, 1900-01-01 is day 0), the offset from UTC in minutes (16
// bits), then 16 bits of flags whose low three bits are the scale. A
// datetimeoffset's day and time are in UTC.

#include <cstdint>
#include <string>

namespace tessel::columns {

inline constexpr int kSQLUNIQUE = 36;
inline constexpr int kSQLDATE = 40;
inline constexpr int kSQLTIME = 41;
inline constexpr int kSQLDATETIME2 = 42;
inline constexpr int kSQLDATETIMEOFFSET = 43;
inline constexpr int kSQLVARIANT = 98;
inline constexpr int kSQLXML = 241;

// A char or binary column described as longer than this is a (max) column,
// whose values arrive whole with the row and no text pointer. A sized column
// holds at most 8000 bytes on the server, and the client library may give a
// converted character column up to four times that; a (max) column is
// described with a length of 2^30 or more.
inline constexpr int kLongestSizedColumn = 65535;

// '{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}'
inline constexpr int kGuidTextSize = 38;
// 'YYYY-MM-DD hh:mm:ss.fffffff +hh:mm'
inline constexpr int kOffsetTextSize = 34;
// 'hh:mm:ss.fffffff' and 'YYYY-MM-DD hh:mm:ss.fffffff': time and datetime2
// columns with more than three fraction digits, held as their exact text.
inline constexpr int kTimeTextSize = 16;
inline constexpr int kDateTime2TextSize = 27;
inline constexpr int kExactTimeText = 1041;
inline constexpr int kExactDateTime2Text = 1042;

struct DateTimeValue {
  std::int64_t Day = 0;    // since 1900-01-01
  std::int64_t Ticks = 0;  // of the day, in 100 ns
  int Offset = 0;          // minutes east of UTC
  int Scale = 7;           // digits of the fraction
};

// False when the value is not in the 16-byte form.
bool ReadDateTimeValue(const std::uint8_t* data, int length, DateTimeValue& value);

// The day as the date fields count it (0001-01-01 is day 1).
std::int32_t DayNumber(const DateTimeValue& value);
// Milliseconds since midnight; the digits after them are dropped.
std::int32_t MillisecondOfDay(const DateTimeValue& value);
// The framework's date-time in milliseconds.
double DateTimeMilliseconds(const DateTimeValue& value);
// A datetimeoffset as the server writes it: the local date and time with the
// column's fraction digits, then the offset.
std::string DateTimeOffsetText(const DateTimeValue& value);
// A time or datetime2 value as the server writes it, with the column's
// fraction digits: 'hh:mm:ss.fffffff', 'YYYY-MM-DD hh:mm:ss.fffffff'.
std::string TimeText(const DateTimeValue& value);
std::string DateTime2Text(const DateTimeValue& value);
// A uniqueidentifier's 16 bytes as '{...}' in upper case; empty when there
// are not 16.
std::string GuidText(const std::uint8_t* data, int length);

// A date, time, datetime2, datetimeoffset or uniqueidentifier column, whose
// values ReadNewerTypeValue reads.
bool IsNewerType(int Type);

// Reads a date, time, datetime2, datetimeoffset or uniqueidentifier value
// into its slot (the null flag, then a value area of `Area` bytes) in the
// field's form; false for any other type, whose value is left to the caller.
// A value not in the form the client library promises reads as null rather
// than as bytes of another meaning.
bool ReadNewerTypeValue(int Type, const std::uint8_t* Data, int Available, char* Slot, int Area);

}  // namespace tessel::columns
