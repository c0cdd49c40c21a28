#include "datecrack.h"

#include <cstdint>

namespace tessel::dblib {
namespace {

constexpr uint32_t kTicksPerDay = 300u * 60 * 60 * 24;
// Days from 0000-03-01 (proleptic Gregorian) to 1900-01-01.
constexpr int64_t kEpochShift = 693901;

bool IsLeap(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DayOfYear(int64_t year, int month, int day) {
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kBefore[month - 1] + day + (month > 2 && IsLeap(year) ? 1 : 0);
}

// Civil date from a day count since 0000-03-01, by 400-year eras.
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

bool CrackDateTime(const ms::DateTime& value, ms::DateRec& out) {
  if (value.dttime >= kTicksPerDay) return false;
  int64_t year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(value.dtdays + kEpochShift, year, month, day);
  out.year = static_cast<int>(year);
  out.month = month;
  out.day = day;
  out.quarter = (month - 1) / 3 + 1;
  out.dayofyear = DayOfYear(year, month, day);
  // 1900-01-01 was a Monday.
  int64_t monday_based = ((static_cast<int64_t>(value.dtdays) % 7) + 7) % 7;
  out.weekday = static_cast<int>(monday_based) + 1;
  int sunday_based = static_cast<int>((monday_based + 1) % 7);
  int jan1_sunday_based = ((sunday_based - (out.dayofyear - 1)) % 7 + 7) % 7;
  out.week = (out.dayofyear - 1 + jan1_sunday_based) / 7 + 1;
  uint32_t ticks = value.dttime;
  uint32_t seconds = ticks / 300;
  out.hour = static_cast<int>(seconds / 3600);
  out.minute = static_cast<int>(seconds / 60 % 60);
  out.second = static_cast<int>(seconds % 60);
  out.millisecond = static_cast<int>(((ticks % 300) * 10 + 1) / 3);
  return true;
}

}  // namespace tessel::dblib
