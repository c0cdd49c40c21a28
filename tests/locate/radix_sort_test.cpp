// The radix sort behind SortField on numbers, against std::stable_sort of
// the same (key, place) pairs: narrow and wide spreads, keys packed whole
// with their places and keys that lose low bits in the word (runs of keys
// that differ only there), with and without equal keys.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "search/radix_sort.h"

namespace tessel {
namespace {

TEST(RadixSortTest, OrdersAsAStableSortOfKeyAndPlace) {
  struct Case {
    const char* name;
    std::size_t count;
    std::uint64_t base;
    std::uint64_t spread;  // keys are base + (0 .. spread) ...
    int lowBits;           // ... with this many random low bits added below
  };
  const Case cases[] = {
      {"one key", 1, 5, 0, 0},
      {"all equal", 300, 1u << 20, 0, 0},
      {"narrow, many equal", 5000, 100, 50, 0},
      {"narrow, distinct-ish", 5000, std::uint64_t{1} << 63, 1u << 30, 0},
      {"whole range", 5000, 0, ~std::uint64_t{0}, 0},
      {"wide, runs differing in low bits", 5000, 0, std::uint64_t{1} << 40, 22},
      {"wide, equal keys in runs", 5000, 7, std::uint64_t{1} << 44, 2},
  };
  std::mt19937_64 random(3);
  for (const Case& c : cases) {
    std::vector<std::uint64_t> keys(c.count);
    for (std::uint64_t& key : keys) {
      if (c.spread == ~std::uint64_t{0}) {
        key = random();
        continue;
      }
      const std::uint64_t high = random() % (c.spread + 1);
      const std::uint64_t low = random() % (std::uint64_t{1} << c.lowBits);
      key = c.base + (high << c.lowBits) + low;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> expected;
    for (std::size_t i = 0; i < keys.size(); ++i) expected.emplace_back(keys[i], i);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint64_t> places;
    RadixSortKeys(keys, places);
    ASSERT_EQ(keys.size(), expected.size()) << c.name;
    ASSERT_EQ(places.size(), expected.size()) << c.name;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] != expected[i].first || places[i] != expected[i].second) ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << c.name;
  }
}

}  // namespace
}  // namespace tessel
