#include "search/lookup_answers.h"

#include <algorithm>
#include <bit>

#include "search/huge_pages.h"

namespace tessel {

void LookupAnswers::Reset(std::uint64_t Changes, int KeyBytes, int SlotBytes) {
  FTable.clear();
  FTable.shrink_to_fit();
  FKeyBytes = KeyBytes == 4 ? 4 : 8;
  FSlotBytes = std::clamp(SlotBytes, 0, kMaxSlotBytes);
  FStride = StrideFor(FKeyBytes, FSlotBytes);
  FMask = 0;
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
  AssignAdvised(FTable, entries * FStride / sizeof(std::uint64_t), std::uint64_t{0});
  FMask = entries - 1;
  FCovered = 0;
}

std::size_t LookupAnswers::BytesFor(int Records, int KeyBytes, int SlotBytes) {
  return EntriesFor(Records) *
         StrideFor(KeyBytes == 4 ? 4 : 8, std::clamp(SlotBytes, 0, kMaxSlotBytes));
}

void LookupAnswers::Add(std::uint64_t Key, int Position, const char* Slot) {
  FCovered = Position;
  char* table = reinterpret_cast<char*>(FTable.data());
  for (std::size_t i = Home(Key);; i = (i + 1) & FMask) {
    char* entry = table + i * FStride;
    if (entry[FKeyBytes] == 0) {
      if (FKeyBytes == 4) {
        const auto key = static_cast<std::uint32_t>(Key);
        std::memcpy(entry, &key, sizeof key);
      } else {
        std::memcpy(entry, &Key, sizeof Key);
      }
      entry[FKeyBytes] = 1;
      std::memcpy(entry + FKeyBytes + 1, Slot, static_cast<std::size_t>(FSlotBytes));
      return;
    }
    // The first position with the key answers.
    if (KeyOf(entry) == Key) return;
  }
}

}  // namespace tessel
