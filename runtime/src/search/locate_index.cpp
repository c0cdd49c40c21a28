#include "search/locate_index.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace tessel {

void LocateIndex::Reset(std::uint64_t Changes) {
  FEntries.clear();
  FEntries.shrink_to_fit();
  FUsed = 0;
  FCovered = 0;
  FBuiltAt = Changes;
}

void LocateIndex::Grow() {
  std::vector<Entry> old = std::move(FEntries);
  FEntries.assign(old.empty() ? kFirstSize : old.size() * 2, Entry{});
  const std::size_t mask = FEntries.size() - 1;
  // Entries were unique before and stay so: each only needs a free place.
  for (const Entry& entry : old) {
    if (entry.Position == 0) continue;
    std::size_t i = entry.Hash & mask;
    while (FEntries[i].Position != 0) i = (i + 1) & mask;
    FEntries[i] = entry;
  }
}

std::size_t LocateIndex::BytesFor(int Records) {
  // At most half the table is used: it grows before the entry that would
  // pass that.
  const auto needed = std::max<std::size_t>(kFirstSize, std::size_t(std::max(Records, 0)) * 2);
  return std::bit_ceil(needed) * sizeof(Entry);
}

LocateIndexes::Slot* LocateIndexes::Take(std::string_view Spec, int Records, std::uint64_t Changes,
                                         std::size_t Bytes) {
  if (Records < kMinRecords) return nullptr;
  auto slot =
      std::find_if(FSlots.begin(), FSlots.end(), [&](const Slot& s) { return s.Spec == Spec; });
  if (slot == FSlots.end()) {
    if (FSlots.size() == kMaxIndexes) FSlots.erase(FSlots.begin());
    FSlots.push_back(Slot{std::string(Spec), LocateIndex{}, PrefixIndex{}, false});
    return nullptr;
  }
  // Most recently used last, so that the least used goes first.
  std::rotate(slot, slot + 1, FSlots.end());
  Slot& used = FSlots.back();
  // The index of the other kind is unused and stays at 0.
  const std::uint64_t builtAt = used.Index.BuiltAt() | used.Prefix.BuiltAt();
  if (used.Built && builtAt != Changes) {
    // The cache changed under the index: this search scans, and the next
    // one on the same keys builds anew (a loop of Locate, Edit, Post costs
    // what it did before indexes).
    used.Index.Reset(0);
    used.Prefix.Reset(0);
    used.Built = false;
    return nullptr;
  }
  if (used.Built) return &used;
  // Room for the new index: the least recently used ones give way (and are
  // built again when their searches come back), never the new one's room
  // to an older one, or a large cache whose indexes together pass the limit
  // would scan on every search.
  const auto bytesHeld = [&] {
    std::size_t held = FSorted.Bytes();
    for (const Slot& s : FSlots) held += s.Index.Bytes() + s.Prefix.Bytes();
    return held;
  };
  // The kept sort keys first: they serve one field only, and only until the
  // next change.
  if (bytesHeld() + Bytes > kMaxBytes) FSorted.Clear();
  for (auto s = FSlots.begin(); s + 1 != FSlots.end() && bytesHeld() + Bytes > kMaxBytes; ++s) {
    s->Index.Reset(0);
    s->Prefix.Reset(0);
    s->Built = false;
  }
  if (bytesHeld() + Bytes > kMaxBytes) return nullptr;
  return &used;
}

void LocateIndexes::FitSorted() {
  if (FSorted.Bytes() > kMaxBytes) FSorted.Clear();
}

LocateIndex* LocateIndexes::Use(std::string_view Spec, int Records, std::uint64_t Changes) {
  // One entry per record at most.
  Slot* slot = Take(Spec, Records, Changes, LocateIndex::BytesFor(Records));
  if (slot == nullptr) return nullptr;
  if (!slot->Built) {
    slot->Index.Reset(Changes);
    slot->Built = true;
  }
  return &slot->Index;
}

PrefixIndex* LocateIndexes::UsePrefix(std::string_view Spec, int Records, std::uint64_t Changes,
                                      std::size_t Bytes) {
  Slot* slot = Take(Spec, Records, Changes, Bytes);
  if (slot == nullptr) return nullptr;
  if (!slot->Built) {
    slot->Prefix.Reset(Changes);
    slot->Built = true;
  }
  return &slot->Prefix;
}

std::uint32_t KeyHash(std::string_view Bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : Bytes) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 1099511628211ull;
  }
  h ^= h >> 29;
  h *= 0xbf58476d1ce4e5b9ull;
  h ^= h >> 32;
  return static_cast<std::uint32_t>(h);
}

}  // namespace tessel
