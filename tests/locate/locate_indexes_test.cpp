// The set of a query's key indexes: when one is made, and which give way
// (with the kept sort keys) to keep their memory within the limit; and the
// order of the keys a sort keeps.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "search/locate_index.h"

namespace tessel {
namespace {

// Fills an index with `keys` distinct keys, as the searches would.
void Fill(LocateIndex& index, int keys) {
  index.Room(keys);
  for (int p = 1; p <= keys; ++p) {
    index.Add(KeyHash(std::to_string(p)), p, nullptr, [](const char*) { return false; });
  }
}

TEST(LocateIndexes, TheSecondSearchOnAKeyMakesItsIndex) {
  LocateIndexes indexes;
  EXPECT_EQ(indexes.Use("1,", 1000, 0), nullptr);
  EXPECT_NE(indexes.Use("1,", 1000, 0), nullptr);
  // Too few records to pay, and a cache changed under the index.
  EXPECT_EQ(indexes.Use("2,", 10, 0), nullptr);
  EXPECT_EQ(indexes.Use("2,", 10, 0), nullptr);
  EXPECT_EQ(indexes.Use("1,", 1000, 1), nullptr);
}

TEST(LocateIndexes, OlderIndexesGiveWayToANewOneThatWouldPassTheLimit) {
  // Each of these takes over half the limit.
  constexpr int kRecords = 1'200'000;
  LocateIndexes indexes;
  indexes.Use("1,", kRecords, 0);
  LocateIndex* first = indexes.Use("1,", kRecords, 0);
  ASSERT_NE(first, nullptr);
  Fill(*first, kRecords);
  ASSERT_GT(first->Bytes(), LocateIndexes::kMaxBytes / 2);

  indexes.Use("2,", kRecords, 0);
  LocateIndex* second = indexes.Use("2,", kRecords, 0);
  ASSERT_NE(second, nullptr) << "a search on the second key would scan for good";
  EXPECT_EQ(second->Covered(), 0);
  Fill(*second, kRecords);
  // The first was given up; its next search builds it again.
  LocateIndex* again = indexes.Use("1,", kRecords, 0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Covered(), 0);
  // An index larger than the limit alone is never made.
  indexes.Use("3,", 4'000'000, 0);
  EXPECT_EQ(indexes.Use("3,", 4'000'000, 0), nullptr);
}

TEST(LocateIndexes, KeptSortKeysCountInTheLimitAndGiveWayFirst) {
  // An index of a million records takes three eighths of the limit.
  constexpr int kRecords = 1'000'000;
  struct Case {
    std::size_t keys;
    bool keysStay;  // the index and the keys fit together
  };
  for (const Case c : {Case{1'000'000, true}, Case{6'000'000, false}}) {
    LocateIndexes indexes;
    indexes.Sorted().Keep(0, 56, SortedKeys::Form::Integer, false, 0,
                          std::vector<std::uint64_t>(c.keys), 0);
    indexes.Use("1,", kRecords, 0);
    EXPECT_NE(indexes.Use("1,", kRecords, 0), nullptr) << c.keys;
    EXPECT_EQ(indexes.Sorted().Count() != 0, c.keysStay) << c.keys;
  }
}

// Sort keys order as the values do, and give back the value they stand for.
TEST(SortedKeys, KeysOrderAsTheirValues) {
  const std::vector<std::int64_t> integers = {INT64_MIN, -1'000'000'000'000, -2, -1, 0, 1,
                                              7,         INT64_MAX};
  const std::vector<double> reals = {-1e300, -2.5, -1e-300, 0, 1e-300, 0.25, 3, 1e300};
  for (std::size_t i = 0; i < integers.size(); ++i) {
    EXPECT_EQ(SortedKeys::IntegerOf(SortedKeys::IntegerKey(integers[i])), integers[i]);
    if (i > 0) {
      EXPECT_LT(SortedKeys::IntegerKey(integers[i - 1]), SortedKeys::IntegerKey(integers[i]))
          << integers[i - 1] << " < " << integers[i];
    }
  }
  for (std::size_t i = 0; i < reals.size(); ++i) {
    EXPECT_EQ(SortedKeys::RealOf(SortedKeys::RealKey(reals[i])), reals[i]);
    if (i > 0) {
      EXPECT_LT(SortedKeys::RealKey(reals[i - 1]), SortedKeys::RealKey(reals[i]))
          << reals[i - 1] << " < " << reals[i];
    }
  }
  // Equal values, one key.
  EXPECT_EQ(SortedKeys::RealKey(-0.0), SortedKeys::RealKey(0.0));
}

}  // namespace
}  // namespace tessel
