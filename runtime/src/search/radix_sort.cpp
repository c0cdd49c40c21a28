#include "search/radix_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <tuple>
#include <utility>

namespace tessel {
namespace {

// Digits of at most this many bits: the counts of one pass stay in the
// processor's first-level cache.
constexpr int kMaxDigitBits = 11;

// Sorts Words by their bits [From, To), least significant digit first, each
// pass stable, through Other (as long as Words).
void SortWords(std::vector<std::uint64_t>& Words, std::vector<std::uint64_t>& other, int From,
               int To) {
  const int bits = To - From;
  if (bits <= 0 || Words.size() < 2) return;
  const int passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
  const int digitBits = (bits + passes - 1) / passes;
  const std::uint64_t mask = (std::uint64_t{1} << digitBits) - 1;
  std::vector<std::uint32_t> count(std::size_t{1} << digitBits);
  for (int pass = 0; pass < passes; ++pass) {
    const int shift = From + pass * digitBits;
    std::fill(count.begin(), count.end(), 0);
    for (const std::uint64_t word : Words) ++count[(word >> shift) & mask];
    // A digit every word shares moves nothing.
    if (count[(Words.front() >> shift) & mask] == Words.size()) continue;
    std::uint32_t at = 0;
    for (std::uint32_t& c : count) at += std::exchange(c, at);
    for (const std::uint64_t word : Words) other[count[(word >> shift) & mask]++] = word;
    Words.swap(other);
  }
}

}  // namespace

void RadixSortKeys(std::vector<std::uint64_t>& Keys, std::vector<std::uint64_t>& Places) {
  const std::size_t n = Keys.size();
  Places.resize(n);
  if (n == 0) return;
  const auto [low, high] = std::minmax_element(Keys.begin(), Keys.end());
  const std::uint64_t least = *low;
  const int keyBits = std::bit_width(*high - least);
  const int placeBits = std::max(1, static_cast<int>(std::bit_width(n - 1)));
  const std::uint64_t placeMask = (std::uint64_t{1} << placeBits) - 1;
  // Key above place in one word: sorting the words on the key's bits
  // carries the place along, and equal keys stay in place order. Keys too
  // spread for that lose their lowest bits in the word, and each run of
  // keys that agree on the rest is ordered by the whole keys afterwards.
  const int dropped = std::max(0, keyBits + placeBits - 64);
  std::vector<std::uint64_t> whole;
  if (dropped != 0) whole = Keys;
  for (std::size_t i = 0; i < n; ++i) Keys[i] = (((Keys[i] - least) >> dropped) << placeBits) | i;
  SortWords(Keys, Places, placeBits, placeBits + keyBits - dropped);
  for (std::size_t i = 0; i < n; ++i) {
    Places[i] = Keys[i] & placeMask;
    Keys[i] = dropped == 0 ? (Keys[i] >> placeBits) + least : whole[Places[i]];
  }
  if (dropped == 0) return;
  const auto kept = [&](std::uint64_t key) { return (key - least) >> dropped; };
  std::vector<std::pair<std::uint64_t, std::uint64_t>> run;
  for (std::size_t from = 0, to = 0; from < n; from = to) {
    to = from + 1;
    while (to < n && kept(Keys[to]) == kept(Keys[from])) ++to;
    if (to - from < 2) continue;
    run.clear();
    for (std::size_t i = from; i < to; ++i) run.emplace_back(Keys[i], Places[i]);
    std::stable_sort(run.begin(), run.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = from; i < to; ++i) std::tie(Keys[i], Places[i]) = run[i - from];
  }
}

}  // namespace tessel
