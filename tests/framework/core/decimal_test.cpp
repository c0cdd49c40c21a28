// Decimal: exact text in and out, rounding from doubles, rescaling and
// comparison, money, and the 19-byte numeric record.

#include "framework/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/exceptions.h"

namespace tessel {
namespace {

const std::string k38Nines(38, '9');

std::string Text(std::string_view text) {
  return Decimal::FromString(text).ToString();
}

TEST(Decimal, TextRoundTripsAtTheScaleItShows) {
  struct Case {
    const char* in;
    const char* out;
    int scale;
  };
  const std::string nines = k38Nines;
  const std::string fraction_nines = "-0." + k38Nines;
  const Case cases[] = {
      {"0", "0", 0},
      {"1.50", "1.50", 2},
      {" -0.50 ", "-0.50", 2},
      {"+12", "12", 0},
      {".5", "0.5", 1},
      {"5.", "5", 0},
      {"-0", "0", 0},
      {"-0.00", "0.00", 2},
      {"000123.4500", "123.4500", 4},
      {"1.5e3", "1500", 0},
      {"1.50E1", "15.0", 1},
      {"12345e-2", "123.45", 2},
      {"1e-3", "0.001", 3},
      {"0e99999999999", "0", 0},
      {nines.c_str(), nines.c_str(), 0},
      {fraction_nines.c_str(), fraction_nines.c_str(), 38},
      // Zeros beyond the 38th decimal say nothing and are dropped.
      {"0.5000000000000000000000000000000000000000", "0.50000000000000000000000000000000000000",
       38},
  };
  for (const Case& c : cases) {
    const Decimal d = Decimal::FromString(c.in);
    EXPECT_EQ(d.ToString(), c.out) << c.in;
    EXPECT_EQ(d.Scale(), c.scale) << c.in;
    EXPECT_EQ(Text(d.ToString()), d.ToString()) << c.in;
  }
  EXPECT_FALSE(Decimal::FromString("-0.00").IsNegative());
  EXPECT_EQ(Decimal().ToString(), "0");
}

TEST(Decimal, BadTextAndMoreThan38DigitsAreRefused) {
  const std::string too_many = "1" + k38Nines;
  const std::string too_small = "0." + std::string(38, '0') + "1";
  for (const std::string& bad : std::vector<std::string>{
           "", " ", "abc", "1.2.3", "1e", "1e+", "--1", "1,5", "12 3", "nan", "inf", "0x10", ".",
           "e5", "1e38", "1." + std::string(38, '0'), too_many, too_small}) {
    EXPECT_THROW(Decimal::FromString(bad), EConvertError) << bad;
  }
  try {
    Decimal::FromString("12,5");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12,5' is not a valid decimal value");
  }
}

// Rounded from the double's exact binary value, half away from zero.
TEST(Decimal, FromDoubleRoundsTheExactBinaryValue) {
  struct Case {
    double value;
    int scale;
    const char* out;
  };
  const Case cases[] = {
      {0.1 + 0.2, 17, "0.30000000000000004"},
      {0.1, 17, "0.10000000000000001"},  // 0.1000000000000000055511...
      {0.1, 16, "0.1000000000000000"},
      {0.1, 0, "0"},
      {1e13, 10, "10000000000000.0000000000"},
      {1000.0, 20, "1000.00000000000000000000"},
      {2.675, 2, "2.67"},  // 2.67499999999999982236...
      {0.125, 2, "0.13"},
      {-0.125, 2, "-0.13"},
      {2.5, 0, "3"},
      {-2.5, 0, "-3"},
      {-0.001, 2, "0.00"},
      {0.00035, 4, "0.0003"},  // 0.000349999...: no second rounding after scaling
      {1e37, 0, "9999999999999999538762658202121142272"},
      {5e-324, 38, "0.00000000000000000000000000000000000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decimal::FromDouble(c.value, c.scale).ToString(), c.out) << c.value;
  }
  EXPECT_FALSE(Decimal::FromDouble(-0.001, 2).IsNegative());
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e39, -1e30}) {
    EXPECT_THROW(Decimal::FromDouble(bad, bad == -1e30 ? 10 : 0), EConvertError) << bad;
  }
}

TEST(Decimal, RescaleRoundAndFit) {
  Decimal out;
  EXPECT_TRUE(Decimal::FromString("1.50").Rescaled(1, out));
  EXPECT_EQ(out.ToString(), "1.5");
  EXPECT_TRUE(Decimal::FromString("-1.5").Rescaled(3, out));
  EXPECT_EQ(out.ToString(), "-1.500");
  EXPECT_FALSE(Decimal::FromString("1.55").Rescaled(1, out)) << "a digit would be lost";
  EXPECT_FALSE(Decimal::FromString(k38Nines).Rescaled(1, out)) << "39 digits";

  struct Case {
    const char* in;
    int scale;
    const char* out;
  };
  for (const Case& c : {Case{"1.55", 1, "1.6"}, Case{"-1.55", 1, "-1.6"}, Case{"1.549", 1, "1.5"},
                        Case{"-0.04", 1, "0.0"}, Case{"0.5", 0, "1"}, Case{"7", 2, "7.00"}}) {
    EXPECT_EQ(Decimal::FromString(c.in).Rounded(c.scale).ToString(), c.out) << c.in;
  }
  EXPECT_THROW(Decimal::FromString(k38Nines).Rounded(1), EConvertError);

  EXPECT_TRUE(Decimal::FromString("123.45").FitsIn(5, 2));
  EXPECT_TRUE(Decimal::FromString("-123.454").FitsIn(5, 2));
  EXPECT_FALSE(Decimal::FromString("999.995").FitsIn(5, 2)) << "rounds to 1000.00";
  EXPECT_FALSE(Decimal::FromString("123456.78").FitsIn(5, 2));
  EXPECT_TRUE(Decimal::FromString("0.5").FitsIn(1, 1));

  EXPECT_EQ(Decimal::FromString("0.5").IntegerDigits(), 0);
  EXPECT_EQ(Decimal::FromString("-123.45").IntegerDigits(), 3);
  EXPECT_EQ(Decimal::FromString(k38Nines).IntegerDigits(), 38);
}

TEST(Decimal, ComparesByValueAcrossScales) {
  auto d = [](const char* text) { return Decimal::FromString(text); };
  EXPECT_EQ(d("1.5"), d("1.50"));
  EXPECT_EQ(d("0.00"), d("-0"));
  EXPECT_LT(d("-1.5"), d("-1.49"));
  EXPECT_LT(d("-1"), d("0"));
  EXPECT_GT(d("10"), d("9.99999"));
  EXPECT_NE(d("1.5"), d("1.51"));
  // Aligning these two would need 76 digits.
  EXPECT_GT(d(k38Nines.c_str()), d(("0." + k38Nines).c_str()));
  EXPECT_LT(d(("-" + k38Nines).c_str()), d(("-0." + k38Nines).c_str()));
}

TEST(Decimal, IntegersMoneyAndDoubles) {
  EXPECT_EQ(Decimal::FromInteger(INT64_MIN).ToString(), "-9223372036854775808");
  EXPECT_EQ(Decimal::FromCurrency(Currency::FromScaled(-5)).ToString(), "-0.0005");
  EXPECT_EQ(Decimal::FromString("922337203685477.5807").ToCurrency().Scaled(), INT64_MAX);
  EXPECT_EQ(Decimal::FromString("-922337203685477.5808").ToCurrency().Scaled(), INT64_MIN);
  EXPECT_EQ(Decimal::FromString("-1.23455").ToCurrency().Scaled(), -12346);
  EXPECT_THROW(Decimal::FromString("922337203685477.5808").ToCurrency(), EConvertError);
  EXPECT_THROW(Decimal::FromString("-922337203685477.58085").ToCurrency(), EConvertError);

  EXPECT_EQ(Decimal::FromString("0.1").ToDouble(), 0.1);
  EXPECT_EQ(Decimal::FromString("0.30000000000000004").ToDouble(), 0.1 + 0.2);
  EXPECT_EQ(Decimal::FromString("-1000.00000000000000000000").ToDouble(), -1000.0);

  EXPECT_FALSE(Decimal::FromParts(true, 0, 2).IsNegative());
  EXPECT_THROW(Decimal::FromParts(false, Decimal::FromString(k38Nines).Magnitude() + 1, 0),
               EConvertError);
  EXPECT_THROW(Decimal::FromParts(false, 1, 39), EConvertError);

  // Currency text is exact now at both ends of the range.
  EXPECT_EQ(Currency::FromString("922337203685477.5807").Scaled(), INT64_MAX);
  EXPECT_EQ(Currency::FromString("-922337203685477.5808").Scaled(), INT64_MIN);
  EXPECT_THROW(Currency::FromString("999999999999999.9999"), EConvertError);
  EXPECT_EQ(Currency::FromDouble(0.00035).Scaled(), 3);
}

TEST(Decimal, NativeRecord) {
  unsigned char bcd[kBcdSize] = {};
  DecimalToBcd(Decimal::FromString("1.50"), 5, bcd);
  const unsigned char expected[kBcdSize] = {5, 2, 1, 150};
  EXPECT_EQ(std::memcmp(bcd, expected, kBcdSize), 0);
  DecimalToBcd(Decimal::FromString("-0.01"), 38, bcd);
  EXPECT_EQ(bcd[2], 0) << "negative";

  for (const std::string& text : {"-" + k38Nines, "0." + k38Nines, std::string("0.000"),
                                  std::string("-18446744073709551616.5")}) {
    DecimalToBcd(Decimal::FromString(text), 38, bcd);
    EXPECT_EQ(BcdToDecimal(bcd).ToString(), text);
  }
  DecimalToBcd(Decimal(), 1, bcd);
  EXPECT_EQ(bcd[2], 1) << "zero is positive";

  bcd[1] = 39;
  EXPECT_THROW(BcdToDecimal(bcd), EConvertError);
  bcd[1] = 0;
  bcd[18] = 0xFF;  // far beyond 10^38
  EXPECT_THROW(BcdToDecimal(bcd), EConvertError);
}

}  // namespace
}  // namespace tessel
