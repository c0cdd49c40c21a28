#pragma once

// Key indexes over a query's record cache, for exact-match Locate and
// Lookup: a search repeated on the same key fields finds its record through
// a hash of the key instead of a scan over every cached record.
//
// An index enters each distinct key once, with the first position (in cache
// order) that holds it, so that finding no entry means no cached record
// matches and finding one gives the answer a scan would give. It holds only
// a 32-bit hash and a position per key: the caller confirms a candidate
// against the record itself, which also guards against a stale position.
//
// The cache counts its changes (TlqBuffers::Changes); appends do not count,
// so an index follows rows read later by adding their positions, and any
// other change (insert, delete, post, sort, refresh) retires it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/field_list_memo.h"
#include "search/prefix_index.h"
#include "search/sorted_keys.h"

namespace tessel {

class LocateIndex {
 public:
  // Positions 1..Covered() are entered.
  int Covered() const { return FCovered; }
  std::uint64_t BuiltAt() const { return FBuiltAt; }
  std::size_t Bytes() const { return FEntries.size() * sizeof(Entry); }

  void Reset(std::uint64_t Changes);

  // Enters Position (the next one after Covered()) under Hash, unless an
  // entry with the same key is there already: Same(position) tells whether
  // the record at an entered position has the key being added.
  template <typename Same>
  void Add(std::uint32_t Hash, int Position, const Same& same) {
    if ((FUsed + 1) * 2 > FEntries.size()) Grow();
    const std::size_t mask = FEntries.size() - 1;
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      Entry& entry = FEntries[i];
      if (entry.Position == 0) {
        entry = {Hash, Position};
        ++FUsed;
        break;
      }
      if (entry.Hash == Hash && same(entry.Position)) break;
    }
    FCovered = Position;
  }

  // The position entered for a key with Hash that Matches(position)
  // accepts; 0 when there is none.
  template <typename Matches>
  int Find(std::uint32_t Hash, const Matches& matches) const {
    if (FEntries.empty()) return 0;
    const std::size_t mask = FEntries.size() - 1;
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      const Entry& entry = FEntries[i];
      if (entry.Position == 0) return 0;
      if (entry.Hash == Hash && matches(entry.Position)) return entry.Position;
    }
  }

 private:
  struct Entry {
    std::uint32_t Hash = 0;
    std::int32_t Position = 0;  // 0: free
  };
  void Grow();

  std::vector<Entry> FEntries;  // a power of two long, at most half used
  std::size_t FUsed = 0;
  int FCovered = 0;
  std::uint64_t FBuiltAt = 0;
};

// A query's key indexes, one per set of key fields and comparison, made on
// the second search of a kind on the same set (one search alone is cheaper
// as a scan); the least recently used give way when a new one would take
// their memory past a limit: hash indexes for exact matches, prefix indexes
// for partial keys. With them, the other state searches keep between calls:
// the keys of the last sort and the resolved field lists.
class LocateIndexes {
 public:
  // Caches smaller than this are scanned: an index would not pay.
  static constexpr int kMinRecords = 256;
  static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;
  static constexpr std::size_t kMaxIndexes = 4;

  // The index for Spec, or nullptr while a search on it has not been seen
  // before (this call notes it) or the index alone would pass the limit.
  LocateIndex* Use(std::string_view Spec, int Records, std::uint64_t Changes);
  // The same for a prefix index, which would take at most Bytes.
  PrefixIndex* UsePrefix(std::string_view Spec, int Records, std::uint64_t Changes,
                         std::size_t Bytes);
  // The field lists of the searches, remembered by their text.
  FieldListMemo& FieldLists() { return FFieldLists; }
  // The keys of the cache's last sort by a numeric column.
  SortedKeys& Sorted() { return FSorted; }
  const SortedKeys& Sorted() const { return FSorted; }

 private:
  struct Slot {
    std::string Spec;
    LocateIndex Index;
    PrefixIndex Prefix;  // the one of the two that Spec names
    bool Built = false;
  };
  Slot* Take(std::string_view Spec, int Records, std::uint64_t Changes, std::size_t Bytes);
  std::vector<Slot> FSlots;  // most recently used last
  SortedKeys FSorted;
  FieldListMemo FFieldLists;
};

// A hash of key bytes (FNV-1a folded to 32 bits, then mixed so that the
// low bits the table uses depend on every byte).
std::uint32_t KeyHash(std::string_view Bytes);

}  // namespace tessel
