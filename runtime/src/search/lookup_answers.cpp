#include "search/lookup_answers.h"

#include <algorithm>
#include <bit>

#include "search/huge_pages.h"

namespace tessel {

void LookupAnswers::Reset(std::uint64_t Changes, int SlotBytes) {
  FTable.clear();
  FTable.shrink_to_fit();
  FSlotBytes = std::clamp(SlotBytes, 0, kMaxSlotBytes);
  FStride = StrideFor(FSlotBytes);
  FMask = 0;
  FUsed = 0;
  FCovered = 0;
  FBuiltAt = Changes;
}

std::size_t LookupAnswers::EntriesFor(int Records) {
  // At most half the table is used.
  return std::bit_ceil(std::max(kFirstEntries, std::size_t(std::max(Records, 0)) * 2));
}

void LookupAnswers::Room(int Records) {
  const std::size_t entries = EntriesFor(Records);
  if (!FTable.empty() && entries <= FMask + 1) return;
  // Fresh tables: the old entries go, and with them what was covered.
  AssignAdvised(FTable, entries * FStride, std::uint64_t{0});
  FMask = entries - 1;
  FUsed = 0;
  FCovered = 0;
}

std::size_t LookupAnswers::BytesFor(int Records, int SlotBytes) {
  return EntriesFor(Records) * StrideFor(std::clamp(SlotBytes, 0, kMaxSlotBytes)) *
         sizeof(std::uint64_t);
}

void LookupAnswers::Add(std::uint64_t Key, int Position, const char* Slot) {
  FCovered = Position;
  for (std::size_t i = Home(Key);; i = (i + 1) & FMask) {
    std::uint64_t* entry = FTable.data() + i * FStride;
    if (PositionOf(entry) == 0) {
      entry[0] = Key;
      const std::int32_t position = Position;
      char* bytes = reinterpret_cast<char*>(entry);
      std::memcpy(bytes + kPositionAt, &position, sizeof position);
      std::memcpy(bytes + kSlotAt, Slot, static_cast<std::size_t>(FSlotBytes));
      ++FUsed;
      return;
    }
    // The first position with the key answers.
    if (entry[0] == Key) return;
  }
}

}  // namespace tessel
