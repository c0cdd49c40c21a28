// Reading record slots without the fields: the date-time conversion the
// record cache applies to every row it reads, and the order of texts a sort
// compares them in.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/sysutils.h"
#include "query/query_slot_values.h"

namespace tessel {
namespace {

// Days since 1900-01-01, as the server counts them.
std::int32_t ServerDays(int year, int month, int day) {
  return static_cast<std::int32_t>(EncodeDate(year, month, day) - EncodeDate(1900, 1, 1));
}

double FrameworkMSecs(int year, int month, int day, int hour, int minute, int second, int ms) {
  return TimeStampToMSecs(DateTimeToTimeStamp(EncodeDate(year, month, day))) +
         ((hour * 60.0 + minute) * 60 + second) * 1000 + ms;
}

std::uint32_t Ticks(int hour, int minute, int second, int ticks) {
  return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 300 + ticks);
}

TEST(SlotDateTime, ServerValuesBecomeTheFrameworksMilliseconds) {
  struct Case {
    int year, month, day, hour, minute, second, ticks, ms;
  };
  // Ticks are 1/300 s; 1, 2 and 299 ticks show as 3, 7 and 997 ms.
  const Case cases[] = {
      {1900, 1, 1, 0, 0, 0, 0, 0},     {1899, 12, 31, 23, 59, 59, 299, 997},
      {1753, 1, 1, 0, 0, 0, 1, 3},     {2000, 2, 29, 12, 30, 15, 2, 7},
      {2024, 3, 1, 7, 8, 9, 150, 500}, {9999, 12, 31, 23, 59, 59, 299, 997},
      {1, 1, 1, 0, 0, 0, 0, 0},        {1600, 3, 1, 1, 2, 3, 30, 100},
  };
  for (const Case& c : cases) {
    double msecs = -1;
    ASSERT_TRUE(slots::DateTimeMSecs(ServerDays(c.year, c.month, c.day),
                                     Ticks(c.hour, c.minute, c.second, c.ticks), msecs))
        << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(msecs, FrameworkMSecs(c.year, c.month, c.day, c.hour, c.minute, c.second, c.ms))
        << c.year << "-" << c.month << "-" << c.day << " ticks " << c.ticks;
  }
}

TEST(SlotDateTime, ValuesOutsideTheFrameworksRangeAreLeftToTheSlowPath) {
  double msecs = 0;
  EXPECT_FALSE(slots::DateTimeMSecs(ServerDays(9999, 12, 31) + 1, 0, msecs));
  EXPECT_FALSE(slots::DateTimeMSecs(ServerDays(1, 1, 1) - 1, 0, msecs));
  EXPECT_FALSE(slots::DateTimeMSecs(0, Ticks(24, 0, 0, 0), msecs));
  EXPECT_FALSE(slots::DateTimeMSecs(INT32_MIN, 0, msecs));
  EXPECT_FALSE(slots::DateTimeMSecs(INT32_MAX, 0, msecs));
  EXPECT_TRUE(slots::DateTimeMSecs(0, Ticks(23, 59, 59, 299), msecs));
}

}  // namespace
}  // namespace tessel
