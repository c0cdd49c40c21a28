#pragma once

// The keys of the numeric columns the record cache was sorted by, one per
// record in cache order, kept from sort to sort: a later sort by one of
// those columns reads its compact array instead of every record, which
// after a sort lie in memory in no relation to their order. Each sort moves
// the kept keys as it moves the records.
//
// Only columns whose values are distinct (at most one null) are kept, as
// only those sort by their keys alone. The keys are good while the cache
// has not changed but by the sorts that moved them along (Current).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel {

class ColumnKeys {
 public:
  // Whether the keys are those of a cache of Records records as of Changes.
  bool Current(std::uint64_t Changes, std::size_t Records) const {
    return Changes == FChanges && Records == FRecords;
  }
  // Moves out the keys kept for the slot at SlotOffset of a column of
  // ColumnType (empty when there are none), with in Null the position of
  // the null record (Records when there is none).
  std::vector<std::uint64_t> Take(int SlotOffset, int ColumnType, std::size_t& Null);
  // Keeps Keys, one per record in cache order as of Changes; the one at
  // Null (when below Keys.size()) stands for a null.
  void Put(int SlotOffset, int ColumnType, std::vector<std::uint64_t>&& Keys, std::size_t Null,
           std::uint64_t Changes);
  // After the cache's items were reordered so that the item at place I came
  // from place Places[I] (the same count): the kept keys follow, as of
  // Changes.
  void Follow(const std::vector<std::uint64_t>& Places, std::uint64_t Changes);
  // Nothing moved: the keys stay good as of Changes.
  void Stamp(std::uint64_t Changes) { FChanges = Changes; }
  void Clear();
  // Frees the storage kept for the next move, which is made afresh then.
  void DropSpare();
  bool Empty() const { return FColumns.empty(); }
  std::size_t Bytes() const;

 private:
  struct Column {
    int SlotOffset = 0;
    int ColumnType = 0;
    std::size_t Null = 0;
    std::vector<std::uint64_t> Keys;
  };
  std::vector<Column> FColumns;
  // A column's storage before it last moved, the next move's destination:
  // fresh memory costs as much to touch as the move itself on some machines.
  std::vector<std::uint64_t> FSpare;
  std::uint64_t FChanges = 0;
  std::size_t FRecords = 0;
};

}  // namespace tessel
