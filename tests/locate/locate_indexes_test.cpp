// The set of a query's key indexes: when one is made, and which give way
// (with the kept sort keys) to keep their memory within the limit; the
// tables of Lookup answers; and the order of the keys a sort keeps.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "search/locate_index.h"

namespace tessel {
namespace {

// Makes an index room for `records` positions and enters the first `keys`
// (all of them unless given) with distinct keys, as the searches would. Its
// memory is the same either way: a few keys keep a test of what gives way
// to a large index quick.
void Fill(LocateIndex& index, int records, int keys = -1) {
  index.Room(records);
  if (keys < 0) keys = records;
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
  constexpr int kRecords = 2'400'000;
  LocateIndexes indexes;
  indexes.Use("1,", kRecords, 0);
  LocateIndex* first = indexes.Use("1,", kRecords, 0);
  ASSERT_NE(first, nullptr);
  Fill(*first, kRecords, 1000);
  ASSERT_GT(first->Bytes(), LocateIndexes::kMaxBytes / 2);

  indexes.Use("2,", kRecords, 0);
  LocateIndex* second = indexes.Use("2,", kRecords, 0);
  ASSERT_NE(second, nullptr) << "a search on the second key would scan for good";
  EXPECT_EQ(second->Covered(), 0);
  Fill(*second, kRecords, 1000);
  // The first was given up; its next search builds it again.
  LocateIndex* again = indexes.Use("1,", kRecords, 0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Covered(), 0);
  // An index larger than the limit alone is never made.
  indexes.Use("3,", 8'000'000, 0);
  EXPECT_EQ(indexes.Use("3,", 8'000'000, 0), nullptr);
}

TEST(LocateIndexes, KeptSortKeysCountInTheLimitAndGiveWayFirst) {
  // An index of two million records takes three eighths of the limit.
  constexpr int kRecords = 2'000'000;
  struct Case {
    std::size_t keys;
    bool keysStay;  // the index and the keys fit together
  };
  for (const Case c : {Case{2'000'000, true}, Case{12'000'000, false}}) {
    LocateIndexes indexes;
    indexes.Sorted().Keep(0, 56, SortedKeys::Form::Integer, false, 0,
                          std::vector<std::uint64_t>(c.keys), 0);
    indexes.Use("1,", kRecords, 0);
    EXPECT_NE(indexes.Use("1,", kRecords, 0), nullptr) << c.keys;
    EXPECT_EQ(indexes.Sorted().Count() != 0, c.keysStay) << c.keys;
  }
}

// A table of answers keeps, for each key, the result slot of the first
// position that held it, with keys of 4 or 8 bytes, among many keys whose
// places collide; a key never entered is not found, nor one differing only
// in bits a 4-byte key does not hold.
TEST(LookupAnswers, KeepTheFirstSlotOfEachKey) {
  struct Case {
    int keyBytes;
    std::uint64_t base;  // keys are base + i * step
    std::uint64_t step;
    std::uint64_t absent;
  };
  constexpr int kKeys = 3000;
  for (const Case c : {Case{4, 0, 1, kKeys}, Case{4, 0xFFFFF000u, 1, 0x1'FFFF'F000u},
                       Case{8, 0x4000'0000'0000'0000u, 1u << 20, 1}}) {
    LookupAnswers answers;
    answers.Reset(7, c.keyBytes, 10);
    answers.Room(2 * kKeys);
    for (int i = 0; i < 2 * kKeys; ++i) {
      // Each key twice: the second position must not replace the first.
      const int position = i + 1;
      char slot[10] = {1};
      std::memcpy(slot + 1, &position, sizeof position);
      answers.Add(c.base + static_cast<std::uint64_t>(i % kKeys) * c.step, position, slot);
    }
    EXPECT_EQ(answers.Covered(), 2 * kKeys);
    for (int i = 0; i < kKeys; ++i) {
      const char* slot = answers.Find(c.base + static_cast<std::uint64_t>(i) * c.step);
      ASSERT_NE(slot, nullptr) << c.keyBytes << " " << i;
      int position = 0;
      std::memcpy(&position, slot + 1, sizeof position);
      EXPECT_EQ(position, i + 1) << c.keyBytes << " " << i;
    }
    EXPECT_EQ(answers.Find(c.absent), nullptr) << c.keyBytes;
    // A table made larger starts empty.
    answers.Room(8 * kKeys);
    EXPECT_EQ(answers.Covered(), 0);
    EXPECT_EQ(answers.Find(c.base), nullptr);
  }
}

// A table of two million integer keys and money results takes 16 bytes an
// entry, half of the limit. Tables are made on the second Lookup of their
// kind, only in the room the indexes leave, and give way to an index; many
// of them noted never push out an index.
TEST(LookupAnswers, AreMadeInTheRoomIndexesLeaveAndGiveWayToThem) {
  constexpr int kRecords = 2'000'000;
  EXPECT_EQ(LookupAnswers::BytesFor(kRecords, 4, 10), LocateIndexes::kMaxBytes / 2);
  EXPECT_EQ(LookupAnswers::BytesFor(kRecords, 8, 10), LocateIndexes::kMaxBytes * 3 / 4);
  LocateIndexes indexes;
  EXPECT_EQ(indexes.UseAnswers(1, 3, kRecords, 0, 4, 10), nullptr);
  LookupAnswers* answers = indexes.UseAnswers(1, 3, kRecords, 0, 4, 10);
  ASSERT_NE(answers, nullptr);
  answers->Room(kRecords);
  const char slot[10] = {1, 42};
  answers->Add(5, 1, slot);
  // No room for a second table: the first stays.
  indexes.UseAnswers(2, 3, kRecords, 0, 8, 10);
  EXPECT_EQ(indexes.UseAnswers(2, 3, kRecords, 0, 8, 10), nullptr);
  LookupAnswers* kept = indexes.UseAnswers(1, 3, kRecords, 0, 4, 10);
  ASSERT_NE(kept, nullptr);
  EXPECT_NE(kept->Find(5), nullptr);
  // An index of 2.4 million records does not fit beside it: the table goes.
  indexes.Use("1,", 2'400'000, 0);
  LocateIndex* index = indexes.Use("1,", 2'400'000, 0);
  ASSERT_NE(index, nullptr);
  Fill(*index, 2'400'000, 1000);
  EXPECT_EQ(indexes.UseAnswers(1, 3, kRecords, 0, 4, 10), nullptr);
  // Lookups for many result fields leave the index as it was.
  for (int result = 4; result < 20; ++result) {
    for (int round = 0; round < 2; ++round) indexes.UseAnswers(1, result, kRecords, 0, 4, 6);
  }
  LocateIndex* same = indexes.Use("1,", 2'400'000, 0);
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->Covered(), 1000);
  // A changed cache retires a table: that Lookup searches the records.
  LocateIndexes other;
  other.UseAnswers(1, 3, 1000, 0, 4, 10);
  ASSERT_NE(other.UseAnswers(1, 3, 1000, 0, 4, 10), nullptr);
  EXPECT_EQ(other.UseAnswers(1, 3, 1000, 1, 4, 10), nullptr);
}

// A cache of a million rows, searched as a screen does (sorted by one
// column, located on two, a lookup field in its grid), keeps all of it:
// the sort's keys, both key indexes and the table of answers.
TEST(LookupAnswers, FitBesideWhatAMillionRowCacheKeepsForItsOtherSearches) {
  constexpr int kRecords = 1'000'000;
  LocateIndexes indexes;
  indexes.Sorted().Keep(0, 56, SortedKeys::Form::Integer, false, 0,
                        std::vector<std::uint64_t>(2 * kRecords), 0);
  for (const char* spec : {"1,", "2,"}) {
    indexes.Use(spec, kRecords, 0);
    LocateIndex* index = indexes.Use(spec, kRecords, 0);
    ASSERT_NE(index, nullptr) << spec;
    Fill(*index, kRecords, 1000);
  }
  indexes.UseAnswers(1, 3, kRecords, 0, 4, 10);
  EXPECT_NE(indexes.UseAnswers(1, 3, kRecords, 0, 4, 10), nullptr);
  EXPECT_NE(indexes.Sorted().Count(), 0u);
  for (const char* spec : {"1,", "2,"}) {
    LocateIndex* index = indexes.Use(spec, kRecords, 0);
    ASSERT_NE(index, nullptr) << spec;
    EXPECT_EQ(index->Covered(), 1000) << spec;
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
