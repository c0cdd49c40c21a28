// The two DBNUMERIC layouts, translated both ways.
#include <gtest/gtest.h>

#include <cstring>

#include "numeric.h"

namespace tessel::dblib {
namespace {

TEST(DbNumericLayout, FreeTdsBytesPerPrecision) {
  EXPECT_EQ(FreeTdsNumericBytes(1), 2);
  EXPECT_EQ(FreeTdsNumericBytes(2), 2);
  EXPECT_EQ(FreeTdsNumericBytes(3), 3);
  EXPECT_EQ(FreeTdsNumericBytes(9), 5);
  EXPECT_EQ(FreeTdsNumericBytes(18), 9);
  EXPECT_EQ(FreeTdsNumericBytes(19), 9);
  EXPECT_EQ(FreeTdsNumericBytes(20), 10);
  EXPECT_EQ(FreeTdsNumericBytes(38), 17);
}

TEST(DbNumericLayout, FreeTdsToMicrosoft) {
  DBNUMERIC in{};
  in.precision = 10;
  in.scale = 2;
  in.array[0] = 1;  // negative
  // precision 10 takes 6 bytes: sign and five big-endian magnitude bytes
  in.array[4] = 0x30;
  in.array[5] = 0x39;
  ms::Numeric out;
  std::memset(&out, 0xAA, sizeof out);
  ASSERT_TRUE(ToMicrosoft(in, out));
  EXPECT_EQ(out.precision, 10);
  EXPECT_EQ(out.scale, 2);
  EXPECT_EQ(out.sign, 0);
  EXPECT_EQ(out.val[0], 0x39);
  EXPECT_EQ(out.val[1], 0x30);
  for (int i = 2; i < ms::kNumericBytes; ++i) EXPECT_EQ(out.val[i], 0);
}

TEST(DbNumericLayout, RoundTripsEveryPrecision) {
  for (int precision = 1; precision <= 38; ++precision) {
    ms::Numeric value{};
    value.precision = static_cast<uint8_t>(precision);
    value.scale = static_cast<uint8_t>(precision / 2);
    value.sign = precision % 2;
    // The largest magnitude of that many digits: 10^p - 1.
    unsigned __int128 largest = 1;
    for (int i = 0; i < precision; ++i) largest *= 10;
    largest -= 1;
    for (int i = 0; i < ms::kNumericBytes; ++i)
      value.val[i] = static_cast<uint8_t>(largest >> (8 * i));
    DBNUMERIC ftds{};
    ASSERT_TRUE(ToFreeTds(value, ftds)) << precision;
    ms::Numeric back{};
    ASSERT_TRUE(ToMicrosoft(ftds, back)) << precision;
    EXPECT_EQ(std::memcmp(&value, &back, sizeof value), 0) << precision;
  }
}

TEST(DbNumericLayout, RefusesWhatIsNotANumber) {
  ms::Numeric value{};
  DBNUMERIC ftds{};
  value.precision = 0;
  EXPECT_FALSE(ToFreeTds(value, ftds));
  value.precision = 39;
  EXPECT_FALSE(ToFreeTds(value, ftds));
  value.precision = 4;
  value.scale = 5;
  EXPECT_FALSE(ToFreeTds(value, ftds));
  value.scale = 0;
  value.val[0] = 0x10;
  value.val[1] = 0x27;  // 10000: five digits
  EXPECT_FALSE(ToFreeTds(value, ftds));
  DBNUMERIC wide{};
  wide.precision = 2;
  wide.array[1] = 100;
  ms::Numeric out{};
  EXPECT_FALSE(ToMicrosoft(wide, out));
}

TEST(DbNumericLayout, NegativeZeroIsZero) {
  ms::Numeric zero{};
  zero.precision = 5;
  zero.sign = 0;
  DBNUMERIC ftds{};
  ASSERT_TRUE(ToFreeTds(zero, ftds));
  EXPECT_EQ(ftds.array[0], 0);
}

}  // namespace
}  // namespace tessel::dblib
