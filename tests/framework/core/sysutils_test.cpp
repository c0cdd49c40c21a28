#include "framework/sysutils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "framework/exceptions.h"

namespace tessel {
namespace {

TEST(Format, IntegerWidthAndPrecision) {
  EXPECT_EQ(Format("#%.6d", {42}), "#000042");
  EXPECT_EQ(Format("%.4d%.2d%.2d", {1999, 3, 5}), "19990305");
  EXPECT_EQ(Format(".%3d ", {7}), ".  7 ");
  EXPECT_EQ(Format("%3d", {12345}), "12345");
  EXPECT_EQ(Format("%-4d|", {7}), "7   |");
  EXPECT_EQ(Format("%.3d", {-5}), "-005");
  EXPECT_EQ(Format("%*d", {5, 42}), "   42");
  EXPECT_EQ(Format("%d", {INT64_MIN}), "-9223372036854775808");
  EXPECT_EQ(Format("%x %.4x", {255, 10}), "FF 000A");
  EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
  EXPECT_EQ(Format("100%%", {}), "100%");
}

TEST(Format, StringsAndArgumentIndex) {
  EXPECT_EQ(Format("Field '%s' is of undefined type.", {"Name"}),
            "Field 'Name' is of undefined type.");
  EXPECT_EQ(Format("%s: %s.", {std::string("EDatabaseError"), "No statement in query"}),
            "EDatabaseError: No statement in query.");
  EXPECT_EQ(Format("%.2s|%5s|%-5s|", {"abcdef", "ab", "ab"}), "ab|   ab|ab   |");
  EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b", "c"}), "b a b");
}

TEST(Format, GeneralFloatIgnoresLocaleAndKeepsFifteenDigits) {
  // A comma locale must not leak into %g; fall back silently if none is installed.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(Format("%g", {1.5}), "1.5");
  std::setlocale(LC_NUMERIC, saved.c_str());

  EXPECT_EQ(Format("%g", {0.1 + 0.2}), "0.3");
  EXPECT_EQ(Format("%g", {100.0}), "100");
  EXPECT_EQ(Format("%g", {-2.25}), "-2.25");
  EXPECT_EQ(Format("%g", {123456789012345.0}), "123456789012345");
  EXPECT_EQ(Format("%g", {1e15}), "1E15");
  EXPECT_EQ(Format("%g", {0.00001}), "0.00001");
  EXPECT_EQ(Format("%g", {1.5e-7}), "1.5E-7");
  EXPECT_EQ(Format("%g", {0.0}), "0");
  EXPECT_EQ(Format("%g", {3}), "3");
  EXPECT_EQ(Format("%.2f|%n|%e", {2.345, 1234567.891, 1.5}),
            "2.35|1,234,567.89|1.50000000000000E+000");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
}

TEST(Format, BadDirectivesRaiseNamingTheFormat) {
  EXPECT_THROW(Format("%d", {"text"}), EConvertError);
  EXPECT_THROW(Format("%s", {3}), EConvertError);
  EXPECT_THROW(Format("%d %d", {1}), EConvertError);
  EXPECT_THROW(Format("abc %", {1}), EConvertError);
  EXPECT_THROW(Format("%q", {1}), EConvertError);
  try {
    Format("Value %d", {1.5});
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("Value %d"), std::string::npos) << e.Message();
  }
}

TEST(Strings, TrimQuoteCompare) {
  EXPECT_EQ(Trim(" \t\r\n a b \n"), "a b");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x \x01"), "  x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(QuotedStr("O'Brien"), "'O''Brien'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(AnsiUpperCase("abc_Z1"), "ABC_Z1");
  EXPECT_EQ(CompareText("Name", "NAME"), 0);
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_LT(CompareText("", "a"), 0);
  EXPECT_TRUE(SameText("Old_ID", "OLD_id"));
  EXPECT_FALSE(SameText("OLD_", "OLD"));
}

TEST(Strings, NumberConversions) {
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_EQ(StrToInt("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt("$ff"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_DOUBLE_EQ(StrToFloat("1.5e3"), 1500.0);
  for (const char* bad : {"", "abc", "12a", "9223372036854775808", "- 1", "1.5"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
  for (const char* bad : {"", "1,5", "nan", "inf", "1e999", "x"}) {
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
  }
}

TEST(Dates, EncodeDecodeRoundTrips) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1999, 3, 5), 36224.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  // Every day of a span that crosses leap years, centuries and the origin.
  for (double d = -1000; d < 100000; d += 1) {
    int y, m, day;
    DecodeDate(d, y, m, day);
    ASSERT_EQ(EncodeDate(y, m, day), d) << d;
  }
  int y, m, d;
  DecodeDate(EncodeDate(2000, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
  DecodeDate(EncodeDate(9999, 12, 31), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
}

TEST(Dates, TimesRoundTripAndSurviveRounding) {
  int h, n, s, ms;
  const TDateTime t = EncodeTime(23, 59, 59, 999);
  DecodeTime(t, h, n, s, ms);
  EXPECT_EQ((std::vector<int>{h, n, s, ms}), (std::vector<int>{23, 59, 59, 999}));
  // Half a millisecond before midnight rounds to the next day, not to 24:00.
  const TDateTime almost = EncodeDate(2020, 12, 31) + (MSecsPerDay - 0.4) / MSecsPerDay;
  int y, m, d;
  DecodeDate(almost, y, m, d);
  DecodeTime(almost, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20210101);
  EXPECT_EQ(h + n + s + ms, 0);
  // Before the origin the fraction still counts forward in the day.
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
}

TEST(Dates, InvalidValuesRaiseWithTheValue) {
  TDateTime r;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, r));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, r));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, r));
  EXPECT_FALSE(TryEncodeDate(2020, 13, 1, r));
  EXPECT_FALSE(TryEncodeDate(2020, 4, 31, r));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, r));
  try {
    EncodeDate(2023, 2, 30);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("2023-02-30"), std::string::npos) << e.Message();
  }
  int y, m, d;
  EXPECT_THROW(DecodeDate(NAN, y, m, d), EConvertError);
  EXPECT_THROW(DecodeDate(1e300, y, m, d), EConvertError);
  EXPECT_THROW(DecodeDate(2958466.0, y, m, d), EConvertError);
}

TEST(Dates, TimeStampConversions) {
  const TDateTime dt = EncodeDate(1999, 3, 5) + EncodeTime(14, 5, 9, 250);
  const TTimeStamp ts = DateTimeToTimeStamp(dt);
  EXPECT_EQ(ts.Date, 36224 + DateDelta);
  EXPECT_EQ(ts.Time, ((14 * 60 + 5) * 60 + 9) * 1000 + 250);
  const double msecs = TimeStampToMSecs(ts);
  EXPECT_EQ(msecs, static_cast<double>(ts.Date) * MSecsPerDay + ts.Time);
  const TTimeStamp back = MSecsToTimeStamp(msecs);
  EXPECT_EQ(back.Date, ts.Date);
  EXPECT_EQ(back.Time, ts.Time);
  EXPECT_NEAR(TimeStampToDateTime(back), dt, 1e-9);
  EXPECT_NEAR(TimeStampToDateTime(DateTimeToTimeStamp(-1.25)), -1.25, 1e-9);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{MSecsPerDay, 1}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
  EXPECT_THROW(MSecsToTimeStamp(-5), EConvertError);
}

TEST(Dates, TextForms) {
  // The C locale's long time format; the test runs without setlocale.
  EXPECT_EQ(TimeToStr(EncodeTime(14, 5, 9, 0)), "14:05:09");
  EXPECT_EQ(DateToStr(EncodeDate(1999, 3, 5)), "03/05/1999");
  EXPECT_EQ(DateTimeToStr(EncodeDate(1999, 3, 5)), "03/05/1999");
  EXPECT_EQ(StrToDate("1999-03-05"), EncodeDate(1999, 3, 5));
  EXPECT_EQ(StrToDate("19990305"), EncodeDate(1999, 3, 5));
  EXPECT_EQ(StrToDate("03/05/99"), EncodeDate(1999, 3, 5));
  EXPECT_EQ(StrToDate("3/5/2001"), EncodeDate(2001, 3, 5));
  EXPECT_NEAR(StrToTime("2:30 PM"), EncodeTime(14, 30, 0, 0), 1e-12);
  EXPECT_NEAR(StrToTime("12:00:01.5 AM"), EncodeTime(0, 0, 1, 500), 1e-12);
  EXPECT_NEAR(StrToDateTime("1999-03-05T14:05:09"),
              EncodeDate(1999, 3, 5) + EncodeTime(14, 5, 9, 0), 1e-9);
  EXPECT_NEAR(StrToDateTime(DateTimeToStr(36224.5)), 36224.5, 1e-9);
  for (const char* bad : {"", "1999-02-30", "13/01/1999", "25:00", "1999-03-05 x", "12:00 XM"}) {
    EXPECT_THROW(StrToDateTime(bad), EConvertError) << bad;
  }
}

TEST(Dates, NowIsTodayAndTicksAdvance) {
  const TDateTime now = Now();
  EXPECT_GE(now, Date());
  EXPECT_LT(now - Date(), 1.0);
  const std::uint32_t t0 = GetTickCount();
  Sleep(5);
  EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - t0), 4u);
}

TEST(Exceptions, HierarchyAndMessages) {
  try {
    DatabaseErrorFmt("Parameter '%s' not found", {"X"});
  } catch (const Exception& e) {
    EXPECT_NE(dynamic_cast<const EDatabaseError*>(&e), nullptr);
    EXPECT_EQ(e.Message(), "Parameter 'X' not found");
    EXPECT_STREQ(e.what(), "Parameter 'X' not found");
  }
  EXPECT_THROW(Abort(), EAbort);
  EXPECT_THROW(throw EStringListError("x"), EListError);
}

}  // namespace
}  // namespace tessel
