#pragma once

// An ordered index over one text field of a query's record cache, for
// partial-key Locate: it answers what a scan's collation::StartsWith would
// answer, first position in cache order, without testing every record.
//
// It follows the byte loop of the prefix test (collation::ascii::StartsWith).
// Each record enters under the folded weights of its text's leading run of
// printable ASCII (one byte per character, equal exactly when the loop takes
// the two characters as equal at the search's level) and whether the text
// ends with that run. For a search text that is all printable ASCII, the
// loop decides every record by those two alone, except one whose run is a
// beginning of the search text and goes on with another character: such a
// record is left to the caller's own test, as the scan leaves it to ICU.
//
// Entries are sorted once by key, then position; a text that is its run
// alone is entered once per key with its first position (any two such
// texts match the same searches), the others each with their position.
// Appends extend the index; the caller retires it on any other change.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessel {

class PrefixIndex {
 public:
  // Positions 1..Covered() are entered.
  int Covered() const { return FCovered; }
  std::uint64_t BuiltAt() const { return FBuiltAt; }
  std::size_t Bytes() const;

  void Reset(std::uint64_t Changes);

  // Enters Position (one after Covered()) under Folded, its text's leading
  // run folded; Whole when the text is that run alone. Entries added count
  // in Find only after Settle, which notes positions up to Covered as
  // entered (records with a null are not).
  void Add(std::string_view Folded, bool Whole, int Position);
  void Settle(int Covered);

  // The first position whose record begins with the search text whose
  // folded form is Folded (all of it printable ASCII); 0 when none does.
  // Undecided(position) tests a record the folded runs cannot decide.
  template <typename Undecided>
  int Find(std::string_view Folded, const Undecided& undecided) const;

 private:
  struct Entry {
    std::uint32_t KeyAt = 0;  // in FKeys
    std::uint16_t KeyLength = 0;
    bool Whole = false;
    std::int32_t Position = 0;
  };
  // Entries per block of the minimum positions a range takes.
  static constexpr std::size_t kBlock = 64;

  std::string_view Key(const Entry& e) const { return {FKeys.data() + e.KeyAt, e.KeyLength}; }
  // [First, Last) of the entries with exactly Key and Whole.
  std::pair<std::size_t, std::size_t> Group(std::string_view Key, bool Whole) const;
  // [First, Last) of the entries whose key begins with Prefix.
  std::pair<std::size_t, std::size_t> Range(std::string_view Prefix) const;
  int MinPosition(std::size_t First, std::size_t Last) const;

  std::vector<Entry> FEntries;  // sorted up to FSorted
  std::size_t FSorted = 0;
  std::string FKeys;                    // each distinct key once, once settled
  std::vector<std::int32_t> FBlockMin;  // of FEntries, per kBlock
  int FCovered = 0;
  std::uint64_t FBuiltAt = 0;
};

template <typename Undecided>
int PrefixIndex::Find(std::string_view Folded, const Undecided& undecided) const {
  constexpr int kNone = std::numeric_limits<int>::max();
  int best = kNone;
  // Keys that begin with the search text: matches, but for a key that is
  // the search text itself and goes on with another character.
  const auto [whole, longer] = Group(Folded, true);
  if (whole < longer) best = FEntries[whole].Position;
  const int ranged = MinPosition(longer, Range(Folded).second);
  if (ranged != 0 && ranged < best) best = ranged;
  // Texts whose run is a beginning of the search text (or all of it) and
  // goes on: tested one by one, in position order, while they could come
  // first.
  for (std::size_t length = 0; length <= Folded.size(); ++length) {
    const auto [from, to] = Group(Folded.substr(0, length), false);
    for (std::size_t i = from; i < to && FEntries[i].Position < best; ++i) {
      if (undecided(static_cast<int>(FEntries[i].Position))) {
        best = FEntries[i].Position;
        break;
      }
    }
  }
  return best == kNone ? 0 : best;
}

}  // namespace tessel
