#pragma once

// The answers of Lookup by one number key field for one result field, kept
// in one table: for each distinct key, its value, the first position (in
// cache order) that holds it and a copy of that record's result slot. A
// repeated Lookup reads one entry, where a key index (locate_index.h) reads
// its entry and then the record to confirm the key and read the result, two
// waits on memory one after the other.
//
// Keys are the 64 bits the key index hashes a non-null number key by (a
// double, or a 64-bit integer), equal exactly when the values compare equal;
// values unequal to themselves are never entered nor looked for. The table
// is kept, and retired, exactly as a key index: it follows appended rows,
// and any other change of the cache retires it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessel {

class LookupAnswers {
 public:
  // The longest result slot (flag byte and value area) an entry holds.
  static constexpr int kMaxSlotBytes = 20;

  // Positions 1..Covered() are entered.
  int Covered() const { return FCovered; }
  std::uint64_t BuiltAt() const { return FBuiltAt; }
  int SlotBytes() const { return FSlotBytes; }
  std::size_t Bytes() const { return FTable.capacity() * sizeof(std::uint64_t); }

  // Empties the table for result slots of SlotBytes (at most kMaxSlotBytes).
  void Reset(std::uint64_t Changes, int SlotBytes);
  // Makes room for entries of Records positions; when the table must grow,
  // it starts empty (Covered() 0) and every position is entered again.
  void Room(int Records);

  // Enters Position under Key with a copy of the result slot at Slot, unless
  // Key is there already (from an earlier position). Room(Position) must
  // have been called.
  void Add(std::uint64_t Key, int Position, const char* Slot);
  // Covers Position without entering it: its key is null, or unequal to
  // itself, and no Lookup this table serves finds it.
  void Skip(int Position) { FCovered = Position; }

  struct Found {
    int Position = 0;  // 0: none
    const char* Slot = nullptr;
  };
  Found Find(std::uint64_t Key) const {
    if (FTable.empty()) return {};
    for (std::size_t i = Home(Key);; i = (i + 1) & FMask) {
      const std::uint64_t* entry = FTable.data() + i * FStride;
      const int position = PositionOf(entry);
      if (position == 0) return {};
      if (entry[0] == Key) return {position, SlotOf(entry)};
    }
  }

  // The bytes a table of Records distinct keys with result slots of
  // SlotBytes takes at most.
  static std::size_t BytesFor(int Records, int SlotBytes);

 private:
  // An entry is the key, then the position in 32 bits (0: a free entry),
  // then the slot: 24 bytes for slots of up to 12 bytes, 32 beyond.
  static constexpr std::size_t kPositionAt = sizeof(std::uint64_t);
  static constexpr std::size_t kSlotAt = kPositionAt + sizeof(std::int32_t);
  static constexpr std::size_t kFirstEntries = 1024;
  static std::size_t StrideFor(int SlotBytes) {
    return (kSlotAt + static_cast<std::size_t>(SlotBytes) + 7) / 8;
  }
  static std::size_t EntriesFor(int Records);
  std::size_t Home(std::uint64_t Key) const {
    std::uint64_t h = Key;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h) & FMask;
  }
  static int PositionOf(const std::uint64_t* entry) {
    std::int32_t position = 0;
    std::memcpy(&position, reinterpret_cast<const char*>(entry) + kPositionAt, sizeof position);
    return position;
  }
  static const char* SlotOf(const std::uint64_t* entry) {
    return reinterpret_cast<const char*>(entry) + kSlotAt;
  }

  std::vector<std::uint64_t> FTable;  // a power of two entries, at most half used
  std::size_t FStride = 3;            // words per entry
  std::size_t FMask = 0;
  std::size_t FUsed = 0;
  int FSlotBytes = 0;
  int FCovered = 0;
  std::uint64_t FBuiltAt = 0;
};

}  // namespace tessel
