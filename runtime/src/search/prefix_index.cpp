#include "search/prefix_index.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace tessel {

std::size_t PrefixIndex::Bytes() const {
  return FEntries.capacity() * sizeof(Entry) + FKeys.capacity() +
         FBlockMin.capacity() * sizeof(std::int32_t);
}

void PrefixIndex::Reset(std::uint64_t Changes) {
  *this = PrefixIndex{};
  FBuiltAt = Changes;
}

void PrefixIndex::Add(std::string_view Folded, bool Whole, int Position) {
  Entry entry;
  entry.KeyAt = static_cast<std::uint32_t>(FKeys.size());
  entry.KeyLength = static_cast<std::uint16_t>(Folded.size());
  entry.Whole = Whole;
  entry.Position = Position;
  FKeys.append(Folded);
  FEntries.push_back(entry);
}

void PrefixIndex::Settle(int Covered) {
  FCovered = Covered;
  if (FSorted == FEntries.size()) return;
  const auto before = [this](const Entry& a, const Entry& b) {
    const int order = Key(a).compare(Key(b));
    if (order != 0) return order < 0;
    if (a.Whole != b.Whole) return !a.Whole;
    return a.Position < b.Position;
  };
  const auto added = FEntries.begin() + static_cast<std::ptrdiff_t>(FSorted);
  std::sort(added, FEntries.end(), before);
  std::inplace_merge(FEntries.begin(), added, FEntries.end(), before);
  // Whole texts under one key match alike: the first position answers for all.
  std::vector<Entry> kept;
  kept.reserve(FEntries.size());
  std::string keys;
  for (const Entry& entry : FEntries) {
    const bool sameKey = !kept.empty() && Key(kept.back()) == Key(entry);
    if (sameKey && entry.Whole && kept.back().Whole) continue;
    Entry copy = entry;
    if (sameKey) {
      copy.KeyAt = kept.back().KeyAt;
    } else {
      copy.KeyAt = static_cast<std::uint32_t>(keys.size());
      keys.append(Key(entry));
    }
    kept.push_back(copy);
  }
  FEntries = std::move(kept);
  FKeys = std::move(keys);
  FSorted = FEntries.size();
  FBlockMin.assign((FEntries.size() + kBlock - 1) / kBlock, std::numeric_limits<int>::max());
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    std::int32_t& least = FBlockMin[i / kBlock];
    least = std::min(least, FEntries[i].Position);
  }
}

std::pair<std::size_t, std::size_t> PrefixIndex::Group(std::string_view Key, bool Whole) const {
  const auto end = FEntries.begin() + static_cast<std::ptrdiff_t>(FSorted);
  const auto first = std::partition_point(FEntries.begin(), end, [&](const Entry& e) {
    const int order = this->Key(e).compare(Key);
    return order < 0 || (order == 0 && e.Whole != Whole && !e.Whole);
  });
  const auto last = std::partition_point(
      first, end, [&](const Entry& e) { return e.Whole == Whole && this->Key(e) == Key; });
  return {static_cast<std::size_t>(first - FEntries.begin()),
          static_cast<std::size_t>(last - FEntries.begin())};
}

std::pair<std::size_t, std::size_t> PrefixIndex::Range(std::string_view Prefix) const {
  const auto end = FEntries.begin() + static_cast<std::ptrdiff_t>(FSorted);
  const auto first = std::partition_point(
      FEntries.begin(), end, [&](const Entry& e) { return Key(e).compare(Prefix) < 0; });
  const auto last = std::partition_point(
      first, end, [&](const Entry& e) { return Key(e).substr(0, Prefix.size()) == Prefix; });
  return {static_cast<std::size_t>(first - FEntries.begin()),
          static_cast<std::size_t>(last - FEntries.begin())};
}

int PrefixIndex::MinPosition(std::size_t First, std::size_t Last) const {
  int least = std::numeric_limits<int>::max();
  std::size_t i = First;
  for (; i < Last && i % kBlock != 0; ++i) least = std::min(least, FEntries[i].Position);
  for (; i + kBlock <= Last; i += kBlock) least = std::min(least, FBlockMin[i / kBlock]);
  for (; i < Last; ++i) least = std::min(least, FEntries[i].Position);
  return least == std::numeric_limits<int>::max() ? 0 : least;
}

}  // namespace tessel
