#pragma once

// The answers of Lookup by one number key field for one short result field,
// in one table: for each distinct key, the key and a copy of the result
// slot of the first record (in cache order) that holds it. A repeated
// Lookup reads one entry, where a key index (locate_index.h) reads its
// entry and then the record to confirm the key and read the result: two
// waits on memory, one after the other.
//
// Keys are the numbers the search compares, equal exactly when the values
// are: the 64 bits of a double (-0 as 0) or of a 64-bit integer, or 32 bits
// for the columns of integers that fit them. Values unequal to themselves
// (NaN) match nothing and are never entered. The table is kept, and
// retired, as a key index is: it follows appended rows, and any other
// change of the cache retires it, so the copied slots stay those of the
// records.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessel {

class LookupAnswers {
 public:
  // The longest result slot (flag byte and value area) an entry holds.
  static constexpr int kMaxSlotBytes = 23;

  // Positions 1..Covered() are entered.
  int Covered() const { return FCovered; }
  std::uint64_t BuiltAt() const { return FBuiltAt; }
  int KeyBytes() const { return FKeyBytes; }
  int SlotBytes() const { return FSlotBytes; }
  std::size_t Bytes() const { return FTable.capacity() * sizeof(std::uint64_t); }

  // Empties the table for keys of KeyBytes (4 or 8) and result slots of
  // SlotBytes (at most kMaxSlotBytes).
  void Reset(std::uint64_t Changes, int KeyBytes, int SlotBytes);
  // Makes room for entries of Records positions; when the table must grow,
  // it starts empty (Covered() 0) and every position is entered again.
  void Room(int Records);

  // Enters Position under Key with a copy of the result slot at Slot, unless
  // Key is there already (from an earlier position). Room(Position) must
  // have been called.
  void Add(std::uint64_t Key, int Position, const char* Slot);
  // Covers Position without entering it: its key matches no search.
  void Skip(int Position) { FCovered = Position; }

  // The copy of the result slot entered under Key; nullptr when none.
  const char* Find(std::uint64_t Key) const {
    if (FTable.empty()) return nullptr;
    const char* table = reinterpret_cast<const char*>(FTable.data());
    for (std::size_t i = Home(Key);; i = (i + 1) & FMask) {
      const char* entry = table + i * FStride;
      if (entry[FKeyBytes] == 0) return nullptr;
      if (KeyOf(entry) == Key) return entry + FKeyBytes + 1;
    }
  }

  // The bytes a table of Records distinct keys takes at most.
  static std::size_t BytesFor(int Records, int KeyBytes, int SlotBytes);

 private:
  // An entry is the key, a byte that marks it used (0: a free entry), then
  // the slot; 16 bytes (never across two cache lines) when that holds them,
  // otherwise the next multiple of 8.
  static constexpr std::size_t kFirstEntries = 1024;
  static std::size_t StrideFor(int KeyBytes, int SlotBytes) {
    return (static_cast<std::size_t>(KeyBytes + 1 + SlotBytes) + 7) / 8 * 8;
  }
  static std::size_t EntriesFor(int Records);
  std::size_t Home(std::uint64_t Key) const {
    std::uint64_t h = Key;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h) & FMask;
  }
  std::uint64_t KeyOf(const char* entry) const {
    if (FKeyBytes == 4) {
      std::uint32_t key = 0;
      std::memcpy(&key, entry, sizeof key);
      return key;
    }
    std::uint64_t key = 0;
    std::memcpy(&key, entry, sizeof key);
    return key;
  }

  std::vector<std::uint64_t> FTable;  // a power of two entries, at most half used
  std::size_t FStride = 16;           // bytes per entry
  std::size_t FMask = 0;
  int FKeyBytes = 8;
  int FSlotBytes = 0;
  int FCovered = 0;
  std::uint64_t FBuiltAt = 0;
};

}  // namespace tessel
