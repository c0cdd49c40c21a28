#pragma once

// String, number and date-time routines of the framework, with the behaviour
// the components rely on. TDateTime counts days since 1899-12-30; its
// fraction is the time of day.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace tessel {

using TDateTime = double;

// Milliseconds in a day; the day number of 1899-12-30 counted from 0001-01-01 as day 1.
inline constexpr std::int32_t MSecsPerDay = 86400000;
inline constexpr std::int32_t DateDelta = 693594;

// One argument of Format: an integer, a floating-point number or a text.
class FormatArg {
 public:
  FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
  FormatArg(std::string v) : value_(std::move(v)) {}
  FormatArg(std::string_view v) : value_(std::string(v)) {}

  const std::variant<std::int64_t, double, std::string>& value() const { return value_; }

 private:
  std::variant<std::int64_t, double, std::string> value_;
};

// Delphi-style formatting: %s, %d with width and precision ("%.6d" pads with
// zeros to six digits, "%3d" right-aligns in three characters), %g (shortest
// form, at most 15 significant digits, always "." as decimal separator), %x,
// %u, %f, %e, %n and "%%"; "-" aligns left, "*" takes a width or precision from
// the arguments and "n:" picks the argument. Integers are accepted where a
// number is expected. Raises EConvertError naming the format and the directive
// when an argument is missing or of the wrong kind.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);

// Leading and trailing characters up to and including the space removed.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// The text in single quotes, embedded single quotes doubled.
std::string QuotedStr(std::string_view s);
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
// <0, 0, >0 comparing without regard to case.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// A letter or underscore, then letters, digits and underscores (ASCII): a
// component name or an event handler name.
bool IsValidIdent(std::string_view s);

std::string IntToStr(std::int64_t value);
// Raises EConvertError "'<text>' is not a valid integer value".
std::int64_t StrToInt(std::string_view s);
// "%g" form with "." as separator, whatever the host locale.
std::string FloatToStr(double value);
// Accepts "." as separator; raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view s);
// The Try forms return false instead of raising. Blanks around the number are ignored;
// integers may be written in hexadecimal with "$" or "0x".
bool TryStrToInt(std::string_view s, std::int64_t& result);
bool TryStrToFloat(std::string_view s, double& result);

// Date and time. EncodeDate/EncodeTime raise EConvertError for values out of
// range; the Try forms return false instead.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
bool IsLeapYear(int year);
TDateTime Now();
TDateTime Date();

// Day number with 0001-01-01 as day 1, and milliseconds since midnight.
struct TTimeStamp {
  std::int32_t Time = 0;
  std::int32_t Date = 0;
};
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& value);
double TimeStampToMSecs(const TTimeStamp& value);
TTimeStamp MSecsToTimeStamp(double msecs);

// The host's long time format (from the C library's locale, "%X"), for example 14:05:09.
std::string TimeToStr(TDateTime value);
// The host's short date format.
std::string DateToStr(TDateTime value);
// DateToStr, a space and TimeToStr; the time part is left out at midnight.
std::string DateTimeToStr(TDateTime value);

// Text to date-time. Accepted: "yyyy-mm-dd", "yyyymmdd" and the host's short date
// order (two-digit years 50-99 are 19xx, 00-49 are 20xx); times "hh:nn[:ss[.zzz]]" with an
// optional AM/PM; a date and a time separated by a blank or "T". Raise EConvertError
// "'<text>' is not a valid date" (time, date and time); the Try forms return false.
TDateTime StrToDate(std::string_view s);
TDateTime StrToTime(std::string_view s);
TDateTime StrToDateTime(std::string_view s);
bool TryStrToDate(std::string_view s, TDateTime& result);
bool TryStrToTime(std::string_view s, TDateTime& result);
bool TryStrToDateTime(std::string_view s, TDateTime& result);

// Milliseconds from a monotonic clock; wraps like a 32-bit tick counter.
std::uint32_t GetTickCount();
void Sleep(unsigned milliseconds);

}  // namespace tessel
