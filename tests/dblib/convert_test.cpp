// dbconvert between integers, floats, text, money and Microsoft's DBNUMERIC, with no
// connection (as the package converts field values).
#include <gtest/gtest.h>
#include <ntwdblib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "error_recorder.h"

namespace {

int64_t MoneyUnits(const DBMONEY& m) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(m.mnyhigh)) << 32) |
                              m.mnylow);
}

DBNUMERIC Shape(int precision, int scale) {
  DBNUMERIC n{};
  n.precision = static_cast<BYTE>(precision);
  n.scale = static_cast<BYTE>(scale);
  return n;
}

uint64_t Magnitude(const DBNUMERIC& n) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | n.val[i];
  return value;
}

std::string ToText(int type, const void* value, DBINT length) {
  char text[64] = {};
  DBINT n = dbconvert(nullptr, type, static_cast<LPCBYTE>(value), length, SQLCHAR,
                      reinterpret_cast<LPBYTE>(text), -1);
  return n < 0 ? "<failed>" : std::string(text);
}

TEST(DbConvertMoney, FromIntegerFloatAndText) {
  DBMONEY money{};
  DBINT whole = 1234;
  ASSERT_EQ(dbconvert(nullptr, SQLINT4, reinterpret_cast<LPCBYTE>(&whole), 4, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&money), 8),
            8);
  EXPECT_EQ(MoneyUnits(money), 12340000);

  DBFLT8 negative = -1.5;
  ASSERT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&negative), 8, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&money), 8),
            8);
  EXPECT_EQ(MoneyUnits(money), -15000);
  EXPECT_EQ(money.mnyhigh, -1);

  const char* text = "12.3456";
  ASSERT_EQ(dbconvert(nullptr, SQLCHAR, reinterpret_cast<LPCBYTE>(text), 7, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&money), 8),
            8);
  EXPECT_EQ(MoneyUnits(money), 123456);
}

TEST(DbConvertMoney, ToFloatIntegerAndBackUnchanged) {
  DBMONEY money{0, 123456};  // 12.3456
  DBFLT8 value = 0;
  ASSERT_EQ(dbconvert(nullptr, SQLMONEY, reinterpret_cast<LPCBYTE>(&money), 8, SQLFLT8,
                      reinterpret_cast<LPBYTE>(&value), 8),
            8);
  EXPECT_DOUBLE_EQ(value, 12.3456);
  DBMONEY again{};
  ASSERT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&value), 8, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&again), 8),
            8);
  EXPECT_EQ(MoneyUnits(again), 123456);
  DBSMALLINT small = 0;
  DBMONEY seven{0, 70000};
  ASSERT_EQ(dbconvert(nullptr, SQLMONEY, reinterpret_cast<LPCBYTE>(&seven), 8, SQLINT2,
                      reinterpret_cast<LPBYTE>(&small), 2),
            2);
  EXPECT_EQ(small, 7);
}

TEST(DbConvertNumeric, TextToNumericUsesTheDestinationsPrecisionAndScale) {
  DBNUMERIC n = Shape(10, 2);
  const char* text = "-123.45";
  ASSERT_EQ(dbconvert(nullptr, SQLCHAR, reinterpret_cast<LPCBYTE>(text), -1, SQLNUMERIC,
                      reinterpret_cast<LPBYTE>(&n), -1),
            19);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(n.sign, 0);       // Microsoft: 0 is negative
  EXPECT_EQ(n.val[0], 0x39);  // 12345 = 0x3039, least significant byte first
  EXPECT_EQ(n.val[1], 0x30);
  for (int i = 2; i < MAXNUMERICLEN; ++i) EXPECT_EQ(n.val[i], 0) << i;
}

TEST(DbConvertNumeric, InvalidShapeInTheDestinationMeans18And0) {
  DBNUMERIC n{};  // a zero-filled record, as for a newly inserted row
  DBINT value = 42;
  ASSERT_EQ(dbconvert(nullptr, SQLINT4, reinterpret_cast<LPCBYTE>(&value), 4, SQLDECIMAL,
                      reinterpret_cast<LPBYTE>(&n), 17),
            19);
  EXPECT_EQ(n.precision, DEFAULTPRECISION);
  EXPECT_EQ(n.scale, DEFAULTSCALE);
  EXPECT_EQ(n.sign, 1);
  EXPECT_EQ(Magnitude(n), 42u);
}

TEST(DbConvertNumeric, IntegerAndFloatIntoScaledNumeric) {
  DBNUMERIC n = Shape(5, 2);
  DBINT seven = 7;
  ASSERT_EQ(dbconvert(nullptr, SQLINT4, reinterpret_cast<LPCBYTE>(&seven), 4, SQLNUMERIC,
                      reinterpret_cast<LPBYTE>(&n), 19),
            19);
  EXPECT_EQ(Magnitude(n), 700u);

  DBNUMERIC f = Shape(12, 4);
  DBFLT8 value = 3.25;
  ASSERT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&value), 8, SQLDECIMAL,
                      reinterpret_cast<LPBYTE>(&f), 8),
            19);
  EXPECT_EQ(f.sign, 1);
  EXPECT_EQ(Magnitude(f), 32500u);
}

TEST(DbConvertNumeric, NumericToTextFloatMoneyAndInteger) {
  DBNUMERIC n = Shape(10, 2);
  n.sign = 1;
  n.val[0] = 0x39;
  n.val[1] = 0x30;  // 123.45
  EXPECT_EQ(ToText(SQLNUMERIC, &n, 19), "123.45");
  DBFLT8 value = 0;
  ASSERT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&n), 19, SQLFLT8,
                      reinterpret_cast<LPBYTE>(&value), 8),
            8);
  EXPECT_DOUBLE_EQ(value, 123.45);
  DBMONEY money{};
  ASSERT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&n), 19, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&money), 8),
            8);
  EXPECT_EQ(MoneyUnits(money), 1234500);
  n.sign = 0;
  EXPECT_EQ(ToText(SQLNUMERIC, &n, 19), "-123.45");
}

TEST(DbConvertNumeric, MoneyToNumericAndBack) {
  DBMONEY money{-1, 0xFFFFFFFFu - 15000 + 1};  // -1.5000
  DBNUMERIC n = Shape(19, 4);
  ASSERT_EQ(dbconvert(nullptr, SQLMONEY, reinterpret_cast<LPCBYTE>(&money), 8, SQLNUMERIC,
                      reinterpret_cast<LPBYTE>(&n), 19),
            19);
  EXPECT_EQ(n.sign, 0);
  EXPECT_EQ(Magnitude(n), 15000u);
  DBMONEY back{};
  ASSERT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&n), 19, SQLMONEY,
                      reinterpret_cast<LPBYTE>(&back), 8),
            8);
  EXPECT_EQ(MoneyUnits(back), -15000);
}

TEST(DbConvertNumeric, ThirtyEightDigitsSurviveTheRoundTrip) {
  const std::string digits(38, '9');
  DBNUMERIC n = Shape(38, 0);
  ASSERT_EQ(dbconvert(nullptr, SQLCHAR, reinterpret_cast<LPCBYTE>(digits.c_str()), -1, SQLNUMERIC,
                      reinterpret_cast<LPBYTE>(&n), 19),
            19);
  EXPECT_EQ(n.val[15], 0x4b);  // 10^38 - 1 = 0x4B3B4CA85A86C47A098A223FFFFFFFFF
  EXPECT_EQ(n.val[0], 0xff);
  EXPECT_EQ(ToText(SQLNUMERIC, &n, 19), digits);
}

TEST(DbConvertNumeric, NumericToNumericRescales) {
  DBNUMERIC from = Shape(10, 2);
  from.sign = 1;
  from.val[0] = 0x39;
  from.val[1] = 0x30;  // 123.45
  DBNUMERIC to = Shape(12, 4);
  ASSERT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&from), 19, SQLNUMERIC,
                      reinterpret_cast<LPBYTE>(&to), 19),
            19);
  EXPECT_EQ(to.scale, 4);
  EXPECT_EQ(Magnitude(to), 1234500u);
}

TEST(DbConvertNumeric, MalformedSourceFailsAndReachesTheHandler) {
  ErrorRecorder recorder;
  DBNUMERIC bad = Shape(0, 0);  // precision 0 is not a number
  DBFLT8 value = 0;
  EXPECT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&bad), 19, SQLFLT8,
                      reinterpret_cast<LPBYTE>(&value), 8),
            -1);
  EXPECT_TRUE(ErrorRecorder::Saw(SQLECSYN));

  DBNUMERIC too_big = Shape(2, 0);
  too_big.sign = 1;
  too_big.val[0] = 100;  // three digits in a precision of two
  EXPECT_EQ(dbconvert(nullptr, SQLNUMERIC, reinterpret_cast<LPCBYTE>(&too_big), 19, SQLFLT8,
                      reinterpret_cast<LPBYTE>(&value), 8),
            -1);
}

TEST(DbConvertText, SyntaxErrorsReachTheHandlerWithMicrosoftsNumber) {
  ErrorRecorder recorder;
  DBINT value = 0;
  const char* text = "twelve";
  EXPECT_EQ(dbconvert(nullptr, SQLCHAR, reinterpret_cast<LPCBYTE>(text), 6, SQLINT4,
                      reinterpret_cast<LPBYTE>(&value), 4),
            -1);
  ASSERT_FALSE(ErrorRecorder::Errors().empty());
  EXPECT_EQ(ErrorRecorder::Errors().back().number, SQLECSYN);
}

TEST(DbConvertText, OverflowIsReportedAsSqlecofl) {
  ErrorRecorder recorder;
  DBSMALLINT small = 0;
  DBINT big = 100000;
  EXPECT_EQ(dbconvert(nullptr, SQLINT4, reinterpret_cast<LPCBYTE>(&big), 4, SQLINT2,
                      reinterpret_cast<LPBYTE>(&small), 2),
            -1);
  EXPECT_TRUE(ErrorRecorder::Saw(SQLECOFL));
}

}  // namespace

namespace {

TEST(DbConvertMoney, FloatsRoundToTheNearestTenThousandth) {
  for (double value : {0.0001, 12.3456, -12.3456, 0.29, 1.005, 922337203685.4775}) {
    DBMONEY money{};
    ASSERT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&value), 8, SQLMONEY,
                        reinterpret_cast<LPBYTE>(&money), 8),
              8)
        << value;
    EXPECT_EQ(MoneyUnits(money), std::llround(value * 10000.0L)) << value;
  }
  DBREAL real = 0.3f;
  DBMONEY4 small = 0;
  ASSERT_EQ(dbconvert(nullptr, SQLFLT4, reinterpret_cast<LPCBYTE>(&real), 4, SQLMONEY4,
                      reinterpret_cast<LPBYTE>(&small), 4),
            4);
  EXPECT_EQ(small, 3000);
}

TEST(DbConvertMoney, OutOfRangeFloatsAreOverflowNotGarbage) {
  ErrorRecorder recorder;
  DBMONEY money{};
  DBMONEY4 small = 0;
  for (double value : {1e300, -1e300, std::nan(""), 1e15}) {
    EXPECT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&value), 8, SQLMONEY,
                        reinterpret_cast<LPBYTE>(&money), 8),
              -1)
        << value;
  }
  double too_big_for_small = 214749.0;
  EXPECT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&too_big_for_small), 8, SQLMONEY4,
                      reinterpret_cast<LPBYTE>(&small), 4),
            -1);
  EXPECT_EQ(ErrorRecorder::Errors().size(), 5u);
  for (const auto& e : ErrorRecorder::Errors()) EXPECT_EQ(e.number, SQLECOFL);
}

}  // namespace
