#include "search/locate_index.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "search/huge_pages.h"

namespace tessel {

void LocateIndex::Reset(std::uint64_t Changes) {
  FEntries.clear();
  FEntries.shrink_to_fit();
  FUsed = 0;
  FCovered = 0;
  FBuiltAt = Changes;
  FUnfit = false;
}

void LocateIndex::Room(int Records) {
  const auto needed = std::size_t(std::max(Records, 0)) * 2;
  if (needed <= FEntries.size()) return;
  const std::size_t size = std::bit_ceil(std::max(kFirstSize, needed));
  // Fresh tables: the old entries go, and with them what was covered.
  AssignAdvised(FEntries, size, Entry{0, 0});
  FUsed = 0;
  FCovered = 0;
  FUnfit = false;
}

std::size_t LocateIndex::BytesFor(int Records) {
  // At most half the table is used: Room makes it so.
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
  const auto bytesHeld = [&] { return BytesHeld(); };
  // Tables of answers first: Lookups are served by the index as well.
  for (AnswersSlot& a : FAnswers) {
    if (bytesHeld() + Bytes <= kMaxBytes) break;
    a.Answers.Reset(0, 8, 0);
    a.Built = false;
  }
  // Then the kept sort keys, the columns' before the last sort's: they
  // serve sorts and one field's searches only, and only until the next
  // change.
  if (bytesHeld() + Bytes > kMaxBytes) FSorted.Columns().DropSpare();
  if (bytesHeld() + Bytes > kMaxBytes) FSorted.Columns().Clear();
  if (bytesHeld() + Bytes > kMaxBytes) FSorted.Clear();
  for (auto s = FSlots.begin(); s + 1 != FSlots.end() && bytesHeld() + Bytes > kMaxBytes; ++s) {
    s->Index.Reset(0);
    s->Prefix.Reset(0);
    s->Built = false;
  }
  if (bytesHeld() + Bytes > kMaxBytes) return nullptr;
  return &used;
}

std::size_t LocateIndexes::BytesHeld() const {
  std::size_t held = FSorted.Bytes();
  for (const Slot& s : FSlots) held += s.Index.Bytes() + s.Prefix.Bytes();
  for (const AnswersSlot& a : FAnswers) held += a.Answers.Bytes();
  return held;
}

void LocateIndexes::FitSorted() {
  if (FSorted.Bytes() > kMaxBytes) FSorted.Columns().DropSpare();
  if (FSorted.Bytes() > kMaxBytes) FSorted.Columns().Clear();
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

LookupAnswers* LocateIndexes::UseAnswers(int KeyField, int ResultField, int Records,
                                         std::uint64_t Changes, int KeyBytes, int SlotBytes) {
  if (Records < kMinRecords) return nullptr;
  const auto same = [&](const AnswersSlot& a) {
    return a.KeyField == KeyField && a.ResultField == ResultField;
  };
  // A Lookup repeated for every cell a grid paints asks for the most recent.
  if (FAnswers.empty() || !same(FAnswers.back())) {
    auto slot = std::find_if(FAnswers.begin(), FAnswers.end(), same);
    if (slot == FAnswers.end()) {
      if (FAnswers.size() == kMaxAnswers) {
        // A note that no table came of goes before a table.
        const auto unbuilt = std::find_if(FAnswers.begin(), FAnswers.end(),
                                          [](const AnswersSlot& a) { return !a.Built; });
        FAnswers.erase(unbuilt != FAnswers.end() ? unbuilt : FAnswers.begin());
      }
      FAnswers.push_back(AnswersSlot{KeyField, ResultField, LookupAnswers{}, false});
      return nullptr;
    }
    std::rotate(slot, slot + 1, FAnswers.end());
  }
  AnswersSlot& used = FAnswers.back();
  if (used.Built && used.Answers.BuiltAt() != Changes) {
    // As an index: this Lookup searches, the next one builds anew.
    used.Answers.Reset(0, 8, 0);
    used.Built = false;
    return nullptr;
  }
  if (used.Built) return &used.Answers;
  // Only in the room left: nothing gives way to a table of answers.
  if (BytesHeld() + LookupAnswers::BytesFor(Records, KeyBytes, SlotBytes) > kMaxBytes) {
    return nullptr;
  }
  used.Answers.Reset(Changes, KeyBytes, SlotBytes);
  used.Built = true;
  return &used.Answers;
}

std::uint64_t KeyHash(std::string_view Bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : Bytes) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 1099511628211ull;
  }
  h ^= h >> 29;
  h *= 0xbf58476d1ce4e5b9ull;
  h ^= h >> 32;
  return h;
}

}  // namespace tessel
