// Sorting the record cache of a fully read result by one field, in place.
//
// The sort moves the cache's item pointers only: records keep their memory,
// their contents and their ids (bookmarks), and only their positions change.
// Each record's key is read out of its slot once; the partition-exchange sort
// then runs over (key, item) entries, so a comparison never decodes a value
// again. It is not stable: records with equal keys end in the order the
// partitioning leaves them.

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/sysutils.h"
#include "query_slot_values.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

template <typename Key>
struct SortEntry {
  Key Value{};
  bool Null = false;
  void* Item = nullptr;
};

template <typename T>
int CompareValues(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

struct CompareNumbers {
  template <typename T>
  int operator()(const T& a, const T& b) const {
    return CompareValues(a, b);
  }
};

struct CompareTexts {
  int operator()(std::string_view a, std::string_view b) const { return slots::CollateText(a, b); }
};

// Binary values: byte by byte as unsigned numbers, a prefix first.
struct CompareBytes {
  int operator()(std::string_view a, std::string_view b) const {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
};

// Columns without an order of their own: every key is equal.
struct CompareNothing {
  int operator()(char, char) const { return 0; }
};

// Nulls come before every value; two nulls are equal.
template <typename Key, typename Compare>
int CompareEntries(const SortEntry<Key>& a, const SortEntry<Key>& b, const Compare& compare) {
  if (a.Null || b.Null) return a.Null == b.Null ? 0 : (a.Null ? -1 : 1);
  return compare(a.Value, b.Value);
}

// The classic partition exchange with the middle entry as pivot. Direction
// is the sign applied to every comparison (-1 sorts descending). The smaller
// part is sorted by recursion and the larger one by the loop, so the depth
// stays logarithmic; parts are disjoint, so the order in which they are
// sorted does not change the result.
template <typename Key, typename Compare>
void QuickSort(std::vector<SortEntry<Key>>& entries, int L, int R, const Compare& compare,
               int Direction) {
  while (L < R) {
    int I = L;
    int J = R;
    const SortEntry<Key> pivot = entries[static_cast<std::size_t>((L + R) / 2)];
    auto order = [&](int index) {
      return Direction * CompareEntries(entries[static_cast<std::size_t>(index)], pivot, compare);
    };
    do {
      while (order(I) < 0) ++I;
      while (order(J) > 0) --J;
      if (I <= J) {
        std::swap(entries[static_cast<std::size_t>(I)], entries[static_cast<std::size_t>(J)]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (J - L < R - I) {
      if (L < J) QuickSort(entries, L, J, compare, Direction);
      L = I;
    } else {
      if (I < R) QuickSort(entries, I, R, compare, Direction);
      R = J;
    }
  }
}

// Reads every item's key with Read(value area), sorts, and puts the items
// back into the list in the new order.
template <typename Key, typename Compare, typename ReadKey>
void SortItems(TList& list, int SlotOffset, TlqSortOrder Order, const Compare& compare,
               const ReadKey& Read) {
  const int count = list.Count();
  std::vector<SortEntry<Key>> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto& entry = entries[static_cast<std::size_t>(i)];
    entry.Item = list.Get(i);
    const char* slot = static_cast<const char*>(entry.Item) + SlotOffset;
    entry.Null = slot[0] == 0;
    // A null slot's value area holds whatever an earlier value left: never read.
    if (!entry.Null) entry.Value = Read(slot + 1);
  }
  QuickSort(entries, 0, count - 1, compare, Order == soDescending ? -1 : 1);
  for (int i = 0; i < count; ++i) list.Put(i, entries[static_cast<std::size_t>(i)].Item);
}

double ConvertedToFloat(int ColumnType, const char* value, int length) {
  double result = 0;
  dbconvert(nullptr, ColumnType, reinterpret_cast<const DBBYTE*>(value), length, slots::kSQLFLT8,
            reinterpret_cast<DBBYTE*>(&result), sizeof result);
  return result;
}

}  // namespace

void TlqBuffers::SortBuffer(int ColumnType, int SlotOffset, int SlotArea, TlqSortOrder Order) {
  if (Count() < 2) return;
  using namespace slots;
  const auto integers = [&](auto read) {
    SortItems<std::int64_t>(*this, SlotOffset, Order, CompareNumbers{},
                            [&](const char* v) { return static_cast<std::int64_t>(read(v)); });
  };
  const auto numbers = [&](auto read) {
    SortItems<double>(*this, SlotOffset, Order, CompareNumbers{}, read);
  };
  switch (ColumnType) {
    case kSQLIMAGE:
    case kSQLTEXT:
      // By the length of the content, which the descriptor holds.
      return integers([](const char* v) { return Read<std::int32_t>(v + 24); });
    case kSQLVARCHAR:
    case kSQLCHAR:
      return SortItems<std::string_view>(*this, SlotOffset, Order, CompareTexts{},
                                         [&](const char* v) { return Text(v, SlotArea); });
    case kSQLVARBINARY:
      // A 16-bit length, then the bytes.
      return SortItems<std::string_view>(
          *this, SlotOffset, Order, CompareBytes{}, [&](const char* v) {
            const int length = Read<std::uint16_t>(v);
            const int room = SlotArea > 2 ? SlotArea - 2 : 0;
            return std::string_view(v + 2, static_cast<std::size_t>(std::min(length, room)));
          });
    case kSQLBINARY:
      return SortItems<std::string_view>(
          *this, SlotOffset, Order, CompareBytes{}, [&](const char* v) {
            return std::string_view(v, static_cast<std::size_t>(SlotArea > 1 ? SlotArea - 1 : 0));
          });
    case kSQLINT1:
    case kSQLBIT:
      return integers([](const char* v) { return static_cast<std::uint8_t>(v[0]); });
    case kSQLINT2:
      return integers([](const char* v) { return Read<std::int16_t>(v); });
    case kSQLINT4:
      return integers([](const char* v) { return Read<std::int32_t>(v); });
    case kSQLINT8:
      return integers([](const char* v) { return Read<std::int64_t>(v); });
    case kSQLDATE:
    case kSQLTIME:
      return integers([](const char* v) { return Read<std::int32_t>(v); });
    case kSQLDATETIME2:
      return numbers([](const char* v) { return Read<double>(v); });
    case kSQLUNIQUE:
    case kSQLDATETIMEOFFSET:
      return SortItems<std::string_view>(*this, SlotOffset, Order, CompareTexts{},
                                         [&](const char* v) { return Text(v, SlotArea); });
    case kSQLDATETIM4:
    case kSQLDATETIME:
    case kSQLFLT8:
      return numbers([](const char* v) { return Read<double>(v); });
    case kSQLFLT4:
      return numbers([](const char* v) { return static_cast<double>(Read<float>(v)); });
    case kSQLMONEY:
      return numbers([](const char* v) { return static_cast<double>(MoneyUnits(v)) / 10000.0; });
    case kSQLMONEY4:
      return numbers([](const char* v) { return Read<std::int32_t>(v) / 10000.0; });
    case kSQLDECIMAL:
    case kSQLNUMERIC:
      return numbers([&](const char* v) { return ConvertedToFloat(ColumnType, v, 19); });
    default:
      return SortItems<char>(*this, SlotOffset, Order, CompareNothing{},
                             [](const char*) { return char{}; });
  }
}

void TTessel::SortField(const std::string& FieldName, TlqSortOrder Order) {
  CheckActive();
  if (!FAllFetched) RaiseDatabaseError(SSortFieldError);
  const std::string name = Trim(FieldName);
  for (TField* field : Fields()->List()) {
    if (!SameText(field->FieldName(), name)) continue;
    if (field->FieldNo() < 1) {
      RaiseDatabaseError(Format(SSortCalcField.str(), {field->FieldName()}));
    }
    CheckBrowseMode();
    const TBookmark current = GetBookmark();
    const auto column = static_cast<std::size_t>(field->FieldNo());
    FRecordCache.SortBuffer(FColumnTypes[column], FFieldOffsets[column - 1],
                            FColumnSizes[column - 1] + 1, Order);
    if (current.empty()) continue;
    InternalGotoBookmark(current.data());
    Resync(rmExact | rmCenter);
    DoAfterScroll();
  }
}

}  // namespace tessel
