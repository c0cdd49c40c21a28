// Date and time arithmetic. A TDateTime counts days since 1899-12-30; for
// dates before that day the integral part is negative while the fraction
// still measures the time of day forward (-1.25 is 1899-12-29 06:00).
// Everything goes through TTimeStamp (day number from 0001-01-01, and
// milliseconds since midnight), whose range is checked before any
// floating-point value is turned into an integer.

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

// The bounds of 0001-01-01 and 9999-12-31 as TDateTime day numbers.
constexpr double kMinDateTime = -693594.0;  // exclusive: the day before 0001-01-01
constexpr double kMaxDateTime = 2958466.0;  // exclusive: the day after 9999-12-31

constexpr int kDaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                     {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Days from 0001-01-01 (day 1) to the given valid date.
std::int32_t DayNumber(int year, int month, int day) {
  const bool leap = IsLeapYear(year);
  int day_of_year = day;
  for (int m = 0; m < month - 1; ++m) day_of_year += kDaysInMonth[leap][m];
  const int y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + day_of_year;
}

[[noreturn]] void InvalidDateTime(TDateTime value) {
  throw EConvertError("'" + FloatToStr(value) + "' is not a valid date and time");
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  if (day > kDaysInMonth[IsLeapYear(year)][month - 1]) return false;
  result = static_cast<double>(DayNumber(year, month, day) - DateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result)) {
    throw EConvertError(
        Format("Invalid argument to date encode: %.4d-%.2d-%.2d", {year, month, day}));
  }
  return result;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  const std::int32_t ms = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
  result = static_cast<double>(ms) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
    throw EConvertError(Format("Invalid argument to time encode: %.2d:%.2d:%.2d.%.3d",
                               {hour, minute, second, millisecond}));
  }
  return result;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  if (!(value > kMinDateTime && value < kMaxDateTime)) InvalidDateTime(value);
  double days = std::trunc(value);
  std::int64_t ms = std::llround(std::fabs(value - days) * MSecsPerDay);
  // A time that rounds up to midnight belongs to the next day.
  if (ms >= MSecsPerDay) {
    ms -= MSecsPerDay;
    days += 1;
  }
  TTimeStamp stamp;
  stamp.Date = static_cast<std::int32_t>(days) + DateDelta;
  stamp.Time = static_cast<std::int32_t>(ms);
  if (stamp.Date < 1 || stamp.Date > 3652059) InvalidDateTime(value);
  return stamp;
}

TDateTime TimeStampToDateTime(const TTimeStamp& value) {
  if (value.Time < 0 || value.Time >= MSecsPerDay || value.Date <= 0) {
    throw EConvertError(Format("'%d.%d' is not a valid timestamp", {value.Date, value.Time}));
  }
  const std::int64_t days = static_cast<std::int64_t>(value.Date) - DateDelta;
  const double fraction = static_cast<double>(value.Time) / MSecsPerDay;
  return days >= 0 ? days + fraction : days - fraction;
}

double TimeStampToMSecs(const TTimeStamp& value) {
  return static_cast<double>(value.Date) * MSecsPerDay + value.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  // Day 1 up to 9999-12-31, whole milliseconds.
  if (!(msecs >= static_cast<double>(MSecsPerDay) && msecs < 3652060.0 * MSecsPerDay)) {
    throw EConvertError("'" + FloatToStr(msecs) + "' is not a valid timestamp in milliseconds");
  }
  const auto total = static_cast<std::int64_t>(msecs);
  TTimeStamp stamp;
  stamp.Date = static_cast<std::int32_t>(total / MSecsPerDay);
  stamp.Time = static_cast<std::int32_t>(total % MSecsPerDay);
  return stamp;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  std::int32_t n = DateTimeToTimeStamp(value).Date - 1;  // days since 0001-01-01
  // 400-year cycles have 146097 days, 100-year ones 36524, 4-year ones 1461.
  int y = 1 + 400 * (n / 146097);
  n %= 146097;
  int centuries = n / 36524;
  if (centuries == 4) centuries = 3;  // the last day of a leap 400th year
  y += 100 * centuries;
  n -= centuries * 36524;
  y += 4 * (n / 1461);
  n %= 1461;
  int years = n / 365;
  if (years == 4) years = 3;
  y += years;
  n -= years * 365;
  const bool leap = IsLeapYear(y);
  int m = 0;
  while (n >= kDaysInMonth[leap][m]) n -= kDaysInMonth[leap][m++];
  year = y;
  month = m + 1;
  day = n + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  std::int32_t ms = DateTimeToTimeStamp(value).Time;
  millisecond = ms % 1000;
  ms /= 1000;
  second = ms % 60;
  ms /= 60;
  minute = ms % 60;
  hour = ms / 60;
}

TDateTime Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  const TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // A leap second shows as 60 in tm_sec; it is folded into the 59th.
  const TDateTime time =
      EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
  return date + time;
}

TDateTime Date() {
  return std::trunc(Now());
}

std::uint32_t GetTickCount() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<std::uint32_t>(ms);
}

void Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tessel
