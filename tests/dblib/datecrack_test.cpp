// dbdatecrack of known datetimes into Microsoft's DBDATEREC.
#include <gtest/gtest.h>
#include <ntwdblib.h>

#include <cstring>

#include "error_recorder.h"

namespace {

DBDATEREC Crack(DBINT days, ULONG ticks) {
  DBDATETIME value{days, ticks};
  DBDATEREC rec;
  std::memset(&rec, 0x55, sizeof rec);
  EXPECT_EQ(dbdatecrack(nullptr, &rec, &value), SUCCEED);
  return rec;
}

ULONG Ticks(int h, int m, int s, int ticks) {
  return ((h * 60 + m) * 60 + s) * 300 + ticks;
}

TEST(DbDateCrack, TheFirstDayOf1900) {
  DBDATEREC r = Crack(0, 0);
  EXPECT_EQ(r.year, 1900);
  EXPECT_EQ(r.quarter, 1);
  EXPECT_EQ(r.month, 1);
  EXPECT_EQ(r.dayofyear, 1);
  EXPECT_EQ(r.day, 1);
  EXPECT_EQ(r.week, 1);
  EXPECT_EQ(r.weekday, 1);  // a Monday
  EXPECT_EQ(r.hour, 0);
  EXPECT_EQ(r.minute, 0);
  EXPECT_EQ(r.second, 0);
  EXPECT_EQ(r.millisecond, 0);
}

TEST(DbDateCrack, LeapDay2000WithRoundedMilliseconds) {
  DBDATEREC r = Crack(36583, Ticks(12, 34, 56, 237));
  EXPECT_EQ(r.year, 2000);
  EXPECT_EQ(r.quarter, 1);
  EXPECT_EQ(r.month, 2);
  EXPECT_EQ(r.day, 29);
  EXPECT_EQ(r.dayofyear, 60);
  EXPECT_EQ(r.weekday, 2);  // a Tuesday
  EXPECT_EQ(r.week, 10);    // 2000-01-01 was a Saturday: week 2 began on January 2
  EXPECT_EQ(r.hour, 12);
  EXPECT_EQ(r.minute, 34);
  EXPECT_EQ(r.second, 56);
  EXPECT_EQ(r.millisecond, 790);
}

TEST(DbDateCrack, MillisecondsFollowTheServersRounding) {
  EXPECT_EQ(Crack(0, 1).millisecond, 3);
  EXPECT_EQ(Crack(0, 2).millisecond, 7);
  EXPECT_EQ(Crack(0, 3).millisecond, 10);
  EXPECT_EQ(Crack(0, 299).millisecond, 997);
}

TEST(DbDateCrack, TheEndsOfTheDatetimeRange) {
  DBDATEREC first = Crack(-53690, 0);
  EXPECT_EQ(first.year, 1753);
  EXPECT_EQ(first.month, 1);
  EXPECT_EQ(first.day, 1);
  EXPECT_EQ(first.weekday, 1);  // 1753-01-01 was a Monday

  DBDATEREC last = Crack(2958463, Ticks(23, 59, 59, 299));
  EXPECT_EQ(last.year, 9999);
  EXPECT_EQ(last.quarter, 4);
  EXPECT_EQ(last.month, 12);
  EXPECT_EQ(last.day, 31);
  EXPECT_EQ(last.dayofyear, 365);
  EXPECT_EQ(last.weekday, 5);  // a Friday
  EXPECT_EQ(last.week, 53);
  EXPECT_EQ(last.second, 59);
  EXPECT_EQ(last.millisecond, 997);
}

TEST(DbDateCrack, Week54InALeapYearStartingOnSaturday) {
  // 2000 began on a Saturday and is a leap year: December 31 is in week 54.
  DBDATEREC r = Crack(36889, 0);
  EXPECT_EQ(r.year, 2000);
  EXPECT_EQ(r.dayofyear, 366);
  EXPECT_EQ(r.week, 54);
}

TEST(DbDateCrack, ValuesConvertedFromText) {
  const char* text = "2026-12-07 19:57:26.123";
  DBDATETIME value{};
  ASSERT_EQ(dbconvert(nullptr, SQLCHAR, reinterpret_cast<LPCBYTE>(text), -1, SQLDATETIME,
                      reinterpret_cast<LPBYTE>(&value), 8),
            8);
  DBDATEREC r{};
  ASSERT_EQ(dbdatecrack(nullptr, &r, &value), SUCCEED);
  EXPECT_EQ(r.year, 2026);
  EXPECT_EQ(r.month, 12);
  EXPECT_EQ(r.day, 7);
  EXPECT_EQ(r.weekday, 1);  // a Monday
  EXPECT_EQ(r.hour, 19);
  EXPECT_EQ(r.minute, 57);
  EXPECT_EQ(r.second, 26);
  EXPECT_EQ(r.millisecond, 123);
}

TEST(DbDateCrack, RefusesNullArgumentsAndImpossibleTimes) {
  ErrorRecorder recorder;
  DBDATETIME value{0, 300u * 86400};  // one tick past 23:59:59.997
  DBDATEREC r{};
  EXPECT_EQ(dbdatecrack(nullptr, &r, &value), FAIL);
  EXPECT_EQ(dbdatecrack(nullptr, nullptr, &value), FAIL);
  EXPECT_EQ(dbdatecrack(nullptr, &r, nullptr), FAIL);
  EXPECT_EQ(ErrorRecorder::Errors().size(), 3u);
}

}  // namespace
