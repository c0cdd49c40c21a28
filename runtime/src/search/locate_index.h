#pragma once

// Key indexes over a query's record cache, for exact-match Locate and
// Lookup: a search repeated on the same key fields finds its record through
// a hash of the key instead of a scan over every cached record.
//
// An index enters each distinct key once, with the first position (in cache
// order) that holds it and that record's address, so that finding no entry
// means no cached record matches and finding one gives the answer a scan
// would give, confirmed on the record itself with no trip through the
// cache's list. It holds 16 bits of the key's hash, the address and the
// position per key, 12 bytes. Addresses stay good as long as the index
// does: records never move, and every change that frees one retires the
// index (below).
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
#include "search/lookup_answers.h"
#include "search/prefix_index.h"
#include "search/sorted_keys.h"

namespace tessel {

class LocateIndex {
 public:
  // Positions 1..Covered() are entered.
  int Covered() const { return FCovered; }
  std::uint64_t BuiltAt() const { return FBuiltAt; }
  std::size_t Bytes() const { return FEntries.size() * sizeof(Entry); }
  // False once a record lay where an entry cannot name it (see Add): the
  // index then answers nothing, and searches scan.
  bool Usable() const { return !FUnfit; }

  void Reset(std::uint64_t Changes);
  // Makes room for entries of Records positions; when the table must grow,
  // it starts empty (Covered() 0) and every position is entered again, as
  // entries keep too little of their hash to be moved.
  void Room(int Records);

  // Enters Position (the next one after Covered()), whose record is Record,
  // under Hash, unless an entry with the same key is there already:
  // Same(record) tells whether an entered record has the key being added.
  // Room(Position) must have been called.
  template <typename Same>
  void Add(std::uint64_t Hash, int Position, const char* Record, const Same& same) {
    const auto address = reinterpret_cast<std::uintptr_t>(Record);
    if ((FUsed + 1) * 2 > FEntries.size() || address > kAddress) {
      FUnfit = true;
      return;
    }
    const std::size_t mask = FEntries.size() - 1;
    const std::uint64_t tag = Tag(Hash);
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      const std::uint64_t word = FEntries[i].Word;
      if (word == 0) {
        FEntries[i] = {tag | address, Position};
        ++FUsed;
        break;
      }
      if ((word & ~kAddress) == tag && same(RecordOf(word))) break;
    }
    FCovered = Position;
  }

  // The entered record with a key of Hash that Matches(record) accepts.
  struct Found {
    int Position = 0;  // 0: none
    const char* Record = nullptr;
  };
  template <typename Matches>
  Found Find(std::uint64_t Hash, const Matches& matches) const {
    if (FEntries.empty() || FUnfit) return {};
    const std::size_t mask = FEntries.size() - 1;
    const std::uint64_t tag = Tag(Hash);
    for (std::size_t i = Hash & mask;; i = (i + 1) & mask) {
      const Entry entry = FEntries[i];
      if (entry.Word == 0) return {};
      if ((entry.Word & ~kAddress) != tag) continue;
      const char* record = RecordOf(entry.Word);
      if (matches(record)) return {entry.Position, record};
    }
  }

  // The bytes an index of Records distinct keys takes at most.
  static std::size_t BytesFor(int Records);

 private:
  // A table entry is a word and the position, 12 bytes with no gap: the
  // word holds the top 16 bits of the key's hash, a bit that marks it used,
  // and the record's address below that (user space addresses take 47 bits
  // on the machines this runs on; a record beyond makes the index unusable
  // rather than wrong). A word of 0 is a free entry.
  static constexpr std::uint64_t kUsed = std::uint64_t{1} << 47;
  static constexpr std::uint64_t kAddress = kUsed - 1;
  static constexpr std::uint64_t kTagBits = ~std::uint64_t{0} << 48;
  struct [[gnu::packed]] Entry {
    std::uint64_t Word;
    std::int32_t Position;
  };
  static_assert(sizeof(Entry) == 12);
  static constexpr std::size_t kFirstSize = 1024;
  static std::uint64_t Tag(std::uint64_t Hash) { return (Hash & kTagBits) | kUsed; }
  static const char* RecordOf(std::uint64_t Word) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(Word & kAddress));
  }

  std::vector<Entry> FEntries;  // a power of two long, at most half used
  std::size_t FUsed = 0;
  int FCovered = 0;
  std::uint64_t FBuiltAt = 0;
  bool FUnfit = false;
};

// A query's key indexes, one per set of key fields and comparison, made on
// the second search of a kind on the same set (one search alone is cheaper
// as a scan); the least recently used give way when a new one would take
// their memory past a limit: hash indexes for exact matches, prefix indexes
// for partial keys. Tables of Lookup answers are kept apart, made only in
// the room the others leave and first to give way, so that Lookups for many
// result fields never push out the index they share. With them, the other
// state searches keep between calls: the keys of the last sort and of the
// columns sorted by before, which count in the limit and give way first, and
// the resolved field lists.
class LocateIndexes {
 public:
  // Caches smaller than this are scanned: an index would not pay.
  static constexpr int kMinRecords = 256;
  // Room for what a million-row cache keeps for a screen's searches at once:
  // the last sort's keys, two key indexes and a table of Lookup answers.
  static constexpr std::size_t kMaxBytes = std::size_t{128} << 20;
  static constexpr std::size_t kMaxIndexes = 4;

  // The index for Spec, or nullptr while a search on it has not been seen
  // before (this call notes it) or the index alone would pass the limit.
  LocateIndex* Use(std::string_view Spec, int Records, std::uint64_t Changes);
  // The same for a prefix index, which would take at most Bytes.
  PrefixIndex* UsePrefix(std::string_view Spec, int Records, std::uint64_t Changes,
                         std::size_t Bytes);
  // The same for the table of Lookups by the field numbered KeyField for the
  // one numbered ResultField, with keys of KeyBytes and result slots of
  // SlotBytes; nullptr also when it would not fit in the room the indexes
  // and the kept sort keys leave.
  LookupAnswers* UseAnswers(int KeyField, int ResultField, int Records, std::uint64_t Changes,
                            int KeyBytes, int SlotBytes);
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
  struct AnswersSlot {
    int KeyField = 0;
    int ResultField = 0;
    LookupAnswers Answers;
    bool Built = false;
  };
  // Lookups noted or answered: more than indexes, as each result field has its own.
  static constexpr std::size_t kMaxAnswers = 8;
  Slot* Take(std::string_view Spec, int Records, std::uint64_t Changes, std::size_t Bytes);
  std::size_t BytesHeld() const;
  std::vector<Slot> FSlots;           // most recently used last
  std::vector<AnswersSlot> FAnswers;  // most recently used last
  SortedKeys FSorted;
  FieldListMemo FFieldLists;
};

// A hash of key bytes (FNV-1a, then mixed so that the low bits a table's
// place comes from and the high bits its entries keep depend on every byte).
std::uint64_t KeyHash(std::string_view Bytes);

}  // namespace tessel
