#pragma once

// The keys of the record cache's last sort by a number, date or text
// column, kept in cache order so that a search on that column right after
// the sort finds its record by bisection in a compact array instead of
// walking every record.
//
// Numeric keys are 64-bit unsigned numbers in the order of the values they
// stand for: integers with the sign bit turned over, doubles by their bits
// with negatives reversed. Text keys are the texts themselves, or their
// collation keys when the sort compared those. Keys are good only while the
// cache has not changed since the sort (TlqBuffers::Changes).

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/column_keys.h"

namespace tessel {

class SortedKeys {
 public:
  // Integers are kept as such (exact for 64 bits), other numbers as a
  // double; texts as they are, or as their collation keys (CollationKeys).
  enum class Form : std::uint8_t { Integer, Real, Text, CollationKeys };

  static std::uint64_t IntegerKey(std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ kSign;
  }
  static std::uint64_t RealKey(double value) {
    // -0 and 0 compare equal: one key for both.
    const auto bits = std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value);
    return (bits & kSign) != 0 ? ~bits : bits | kSign;
  }
  static std::int64_t IntegerOf(std::uint64_t key) {
    return static_cast<std::int64_t>(key ^ kSign);
  }
  static double RealOf(std::uint64_t key) {
    return std::bit_cast<double>((key & kSign) != 0 ? key ^ kSign : ~key);
  }

  // Keeps Keys (of the non-null records, in cache order) of a sort by the
  // slot at SlotOffset of a column of ColumnType; the Nulls null records
  // lie before them in ascending order, after them in descending order.
  void Keep(int SlotOffset, int ColumnType, Form KeyForm, bool Descending, int Nulls,
            std::vector<std::uint64_t>&& Keys, std::uint64_t Changes);
  // The same for texts, which view Store: both move here.
  void KeepTexts(int SlotOffset, int ColumnType, Form KeyForm, bool Descending, int Nulls,
                 std::string&& Store, std::vector<std::string_view>&& Texts, std::uint64_t Changes);
  // Clears the keys and the kept column keys.
  void Clear();
  // Clears the keys (not the column keys), handing over the storage of the numeric keys (emptied)
  // for the next sort to fill.
  std::vector<std::uint64_t> TakeKeyStorage();

  // Whether the keys are those of a cache of Records records as of Changes,
  // sorted by the slot at SlotOffset.
  bool Serves(int SlotOffset, int Records, std::uint64_t Changes) const {
    return FValid && SlotOffset == FSlotOffset && Changes == FChanges &&
           static_cast<std::size_t>(Records) == Count() + static_cast<std::size_t>(FNulls);
  }

  int ColumnType() const { return FColumnType; }
  Form KeyForm() const { return FForm; }
  bool Descending() const { return FDescending; }
  int Nulls() const { return FNulls; }
  const std::vector<std::uint64_t>& Keys() const { return FKeys; }
  const std::vector<std::string_view>& Texts() const { return FTexts; }
  // The memory the keys hold (the texts' store is made to its size), with
  // the column keys.
  std::size_t Bytes() const {
    return FKeys.capacity() * sizeof(std::uint64_t) + FTexts.capacity() * sizeof(std::string_view) +
           FStore.size() + FColumns.Bytes();
  }
  // The keys of the columns sorted by, for the sorts to come.
  ColumnKeys& Columns() { return FColumns; }
  // How many non-null records the keys are of.
  std::size_t Count() const { return FKeys.size() + FTexts.size(); }
  // The cache position (1-based) of the I-th key (0-based).
  int PositionOf(std::size_t I) const {
    return static_cast<int>(I) + 1 + (FDescending ? 0 : FNulls);
  }
  // The position of the first null record; 0 when there is none.
  int FirstNull() const {
    if (FNulls == 0) return 0;
    return FDescending ? static_cast<int>(Count()) + 1 : 1;
  }

 private:
  static constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
  void ClearKeys();

  std::vector<std::uint64_t> FKeys;
  std::string FStore;
  std::vector<std::string_view> FTexts;
  std::uint64_t FChanges = 0;
  int FSlotOffset = 0;
  int FColumnType = 0;
  int FNulls = 0;
  Form FForm = Form::Integer;
  bool FDescending = false;
  bool FValid = false;
  ColumnKeys FColumns;
};

}  // namespace tessel
