#pragma once

// Key indexes over a query's record cache, for exact-match Locate and
// Lookup: a search repeated on the same key fields finds its record through
// a hash of the key instead of a scan over every cached record.
//
// An index enters each distinct key once, with the first position (in cache
// order) that holds it and that record's address, so that finding no entry
// means no cached record matches and finding one gives the answer a scan
// would give, confirmed on the record itself with no trip through the
// cache's list. It holds a 32-bit hash, the position and the address per
// key. Addresses stay good as long as the index does: records never move,
// and every change that frees one retires the index (below).
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

  // Enters Position (the next one after Covered()), whose record is Record,
  // under Hash, unless an entry with the same key is there already:
  // Same(record) tells whether an entered record has the key being added.
  template <typename Same>
  void Add(std::uint32_t Hash, int Position, const char* Record, const Same& same) {
    if ((FUsed + 1) * 2 > FEntries.size()) Grow();
    const std::size_t mask = FEntries.size() - 1;
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      Entry& entry = FEntries[i];
      if (entry.Position == 0) {
        entry = {Hash, Position, Record};
        ++FUsed;
        break;
      }
      if (entry.Hash == Hash && same(entry.Record)) break;
    }
    FCovered = Position;
  }

  // The entered record with a key of Hash that Matches(record) accepts.
  struct Found {
    int Position = 0;  // 0: none
    const char* Record = nullptr;
  };
  template <typename Matches>
  Found Find(std::uint32_t Hash, const Matches& matches) const {
    if (FEntries.empty()) return {};
    const std::size_t mask = FEntries.size() - 1;
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      const Entry& entry = FEntries[i];
      if (entry.Position == 0) return {};
      if (entry.Hash == Hash && matches(entry.Record)) return {entry.Position, entry.Record};
    }
  }

  // The bytes an index of Records distinct keys takes at most.
  static std::size_t BytesFor(int Records);

 private:
  struct Entry {
    std::uint32_t Hash = 0;
    std::int32_t Position = 0;  // 0: free
    const char* Record = nullptr;
  };
  static constexpr std::size_t kFirstSize = 1024;
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
// the keys of the last sort, which count in the limit and give way first,
// and the resolved field lists.
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
  // After a sort kept its keys: keys that alone would pass the limit go.
  void FitSorted();

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
