// Sorting the record cache of a fully read result by one field, in place.
//
// The sort moves the cache's item pointers only: records keep their memory,
// their contents and their ids (bookmarks), and only their positions change.
// Each record's key is read out of its slot once, into (key, former position)
// entries, so a comparison never decodes a value again. The partition-exchange
// sort is not stable: records with equal keys end in the order the
// partitioning leaves them. Numbers of which no two are equal have one order
// only, which a radix sort finds sooner. The sorted keys of numbers, dates
// and texts stay with the query's searches (sorted_keys.h) until the cache
// changes. Char and varchar values sort as the server's default collation
// orders them (collation/text_collation.h): letters and accents first, then
// case, a lower-case letter before its capital.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "collation/text_collation.h"
#include "framework/decimal.h"
#include "framework/sysutils.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "search/column_keys.h"
#include "search/huge_pages.h"
#include "search/locate_index.h"
#include "search/radix_sort.h"
#include "search/sorted_keys.h"

namespace tessel {
namespace {

// Reading keys, the records this far ahead are fetched into the processor's
// cache: after a sort, records lie in memory in no relation to their order.
constexpr std::size_t kAhead = 16;

// The bytes per record a sort's store of text keys starts with room for: it
// grows past that as any string does.
constexpr std::size_t kTextReserve = 32;

// A record's key and its position before the sort.
template <typename Key>
struct SortEntry {
  Key Value{};
  std::uint32_t Index = 0;
  bool Null = false;
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

// Binary values: byte by byte as unsigned numbers, a prefix first.
int CompareByteStrings(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A char or varchar value with, in Lead, the primary weights of its first
// eight bytes past the beginning all the sorted texts share, one byte each
// from the highest, 0 past its end (see CompareTexts).
struct WeighedText {
  std::string_view Text;
  std::uint64_t Lead = 0;
};

std::string_view& TextOf(std::string_view& value) {
  return value;
}
std::string_view& TextOf(WeighedText& value) {
  return value.Text;
}

template <typename Key>
constexpr bool kTextKey = std::is_same_v<Key, std::string_view> || std::is_same_v<Key, WeighedText>;

// Replaces each text key by what Copy appends for it to a fresh store, which
// then becomes Store: the keys may view the old store.
template <typename Key, typename Copy>
void GatherTexts(std::vector<SortEntry<Key>>& entries, std::string& store, const Copy& copy) {
  std::string gathered;
  gathered.reserve(store.size());
  std::vector<std::size_t> ends(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].Null) copy(TextOf(entries[i].Value), gathered);
    ends[i] = gathered.size();
  }
  std::size_t at = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    TextOf(entries[i].Value) = std::string_view(gathered.data() + at, ends[i] - at);
    at = ends[i];
  }
  store.swap(gathered);
}

// Char and varchar values. Where every one is printable ASCII, the byte loop
// compares them; otherwise each is replaced by its collation key first.
//
// Printable ASCII texts are first compared by their Leads. Every byte of
// such a text has a primary weight above 0, and the bytes before the ones a
// Lead weighs are the same in every text, so they weigh alike and set no
// case difference: the first position where two Leads differ is the first
// where the texts' primary weights differ, or where one text ends while the
// other goes on, and either decides the byte loop's order as it decides
// the Leads'. Equal Leads leave the order to the whole texts.
struct CompareTexts {
  bool ByKeys = false;
  const collation::AsciiWeights* Weights = &collation::Weights();
  void Gather(std::vector<SortEntry<WeighedText>>& entries, std::string& store) {
    ByKeys = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
      return !entry.Null && !collation::ascii::Plain(entry.Value.Text, *Weights);
    });
    if (ByKeys) {
      GatherTexts(entries, store, [](std::string_view text, std::string& out) {
        collation::AppendSortKey(text, out);
      });
      return;
    }
    // The beginning every text shares.
    const std::string_view* first = nullptr;
    std::size_t shared = 0;
    for (const auto& entry : entries) {
      if (entry.Null) continue;
      const std::string_view text = entry.Value.Text;
      if (first == nullptr) {
        first = &entry.Value.Text;
        shared = text.size();
        continue;
      }
      shared = collation::ascii::SharedAscii(first->data(), text.data(),
                                             std::min({shared, text.size()}));
    }
    for (auto& entry : entries) {
      if (entry.Null) continue;
      const std::string_view text = entry.Value.Text;
      std::uint64_t lead = 0;
      for (std::size_t i = shared; i < shared + 8; ++i) {
        lead =
            lead << 8 | (i < text.size() ? Weights->Primary[collation::ascii::Byte(text[i])] : 0);
      }
      entry.Value.Lead = lead;
    }
  }
  int operator()(const WeighedText& a, const WeighedText& b) const {
    if (ByKeys) return CompareByteStrings(a.Text, b.Text);
    if (a.Lead != b.Lead) return a.Lead < b.Lead ? -1 : 1;
    return collation::Compare(a.Text, b.Text, *Weights);
  }
};

struct CompareBytes {
  void Gather(std::vector<SortEntry<std::string_view>>&, std::string&) const {}
  int operator()(std::string_view a, std::string_view b) const { return CompareByteStrings(a, b); }
};

// Columns without an order of their own: every key is equal.
struct CompareNothing {
  int operator()(char, char) const { return 0; }
};

// Nulls come before every value; two nulls are equal. Without nulls in the
// column (HasNulls false) the flags are not looked at: the outcome is the same.
template <bool HasNulls, typename Key, typename Compare>
int CompareEntries(const SortEntry<Key>& a, const SortEntry<Key>& b, const Compare& compare) {
  if constexpr (HasNulls) {
    if (a.Null || b.Null) return a.Null == b.Null ? 0 : (a.Null ? -1 : 1);
  }
  return compare(a.Value, b.Value);
}

// The classic partition exchange with the middle entry as pivot. Direction
// is the sign applied to every comparison (-1 sorts descending). The smaller
// part is sorted by recursion and the larger one by the loop, so the depth
// stays logarithmic; parts are disjoint, so the order in which they are
// sorted does not change the result.
template <int Direction, bool HasNulls, typename Key, typename Compare>
void QuickSort(std::vector<SortEntry<Key>>& entries, int L, int R, const Compare& compare) {
  while (L < R) {
    int I = L;
    int J = R;
    const SortEntry<Key> pivot = entries[static_cast<std::size_t>((L + R) / 2)];
    auto order = [&](int index) {
      return Direction *
             CompareEntries<HasNulls>(entries[static_cast<std::size_t>(index)], pivot, compare);
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
      if (L < J) QuickSort<Direction, HasNulls>(entries, L, J, compare);
      L = I;
    } else {
      if (I < R) QuickSort<Direction, HasNulls>(entries, I, R, compare);
      R = J;
    }
  }
}

// The kept keys of the columns sorted by before (column_keys.h), which each
// sort moves along as of the cache's count of changes after it; none when
// the sort keeps nothing.
struct KeptColumns {
  ColumnKeys* Columns = nullptr;
  std::uint64_t Changes = 0;
};

// Puts the items back into the list in the order of the sorted entries, and
// shows those to Kept; returns the new position (1-based) of the item Follow,
// 0 when it is not in the list.
template <typename Key, typename Kept, typename Compare>
int PutInOrder(TList& list, const std::vector<void*>& items,
               const std::vector<SortEntry<Key>>& entries, const char* Follow, const Kept& kept,
               std::string& texts, const Compare& compare, const KeptColumns& columns) {
  if (columns.Columns != nullptr && !columns.Columns->Empty()) {
    std::vector<std::uint64_t> places(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) places[i] = entries[i].Index;
    columns.Columns->Follow(places, columns.Changes);
  }
  int followed = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    void* item = items[entries[i].Index];
    list.Put(static_cast<int>(i), item);
    if (item == Follow) followed = static_cast<int>(i) + 1;
  }
  kept(entries, texts, compare);
  return followed;
}

// Puts item Places[i] of the list at position i, the new order made in
// Places itself (no second list, no fresh memory to touch); returns the new
// position (1-based) of Follow, 0 when it is not in the list. Reading the
// items by place while writing them would chain one memory wait to the next.
int PermuteItems(TList& list, std::vector<std::uint64_t>& Places, const char* Follow) {
  static_assert(sizeof(std::uint64_t) >= sizeof(void*));
  const std::vector<void*>& items = list.List();
  for (std::uint64_t& place : Places) place = reinterpret_cast<std::uintptr_t>(items[place]);
  int followed = 0;
  for (std::size_t i = 0; i < Places.size(); ++i) {
    void* const item = reinterpret_cast<void*>(static_cast<std::uintptr_t>(Places[i]));
    list.Put(static_cast<int>(i), item);
    if (item == Follow) followed = static_cast<int>(i) + 1;
  }
  return followed;
}

// Numbers of which no two are equal (at most one null, no two equal values)
// have one order only, the one partition exchange gives too, which a radix
// sort of their keys finds sooner. Puts the items in that order and leaves
// in Keys the keys of the non-null ones (as SortedKeys keeps them) in the
// new order; returns false, having moved nothing, when two keys are equal,
// as records with equal keys must end where partition exchange leaves them.
// The keys come from the column's kept keys when Kept has them, else from
// the records, and stay there for the next sort. Keys may bring storage to
// reuse: touching fresh memory costs as much as the sort itself on some
// machines.
template <typename Key, typename ReadKey>
bool SortDistinct(TList& list, int SlotOffset, int ColumnType, bool Descending, const ReadKey& Read,
                  const char* Follow, std::vector<std::uint64_t>& Keys, int& Nulls, int& Followed,
                  const KeptColumns& Kept) {
  const std::vector<void*>& items = list.List();
  const std::size_t count = items.size();
  std::size_t null = count;  // the null item's place; count when there is none
  // One key per item in list order; the null's is 0 and never read.
  std::vector<std::uint64_t> column;
  if (Kept.Columns != nullptr) column = Kept.Columns->Take(SlotOffset, ColumnType, null);
  if (column.size() != count) {
    null = count;
    AssignAdvised(column, count, std::uint64_t{0});
    for (std::size_t i = 0; i < count; ++i) {
      if (i + kAhead < count) {
        __builtin_prefetch(static_cast<const char*>(items[i + kAhead]) + SlotOffset);
      }
      const char* slot = static_cast<const char*>(items[i]) + SlotOffset;
      if (slot[0] == 0) {
        if (null != count) return false;
        null = i;
        continue;
      }
      // A null slot's value area holds whatever an earlier value left: never read.
      const Key value = Read(slot + 1);
      if constexpr (std::is_same_v<Key, double>) {
        // A value unequal to itself compares equal to every other.
        if (std::isnan(value)) return false;
        column[i] = SortedKeys::RealKey(value);
      } else {
        column[i] = SortedKeys::IntegerKey(value);
      }
    }
  }
  Keys.clear();
  ReserveAdvised(Keys, count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i != null) Keys.push_back(column[i]);
  }
  const auto keep = [&](std::size_t at) {
    if (Kept.Columns != nullptr) {
      Kept.Columns->Put(SlotOffset, ColumnType, std::move(column), at, Kept.Changes);
    }
  };
  // Already in order (a sort repeated, or by a field that follows the last
  // one's order): nothing moves.
  const bool nullInPlace = null == count || null == (Descending ? count - 1 : 0);
  if (nullInPlace && std::adjacent_find(Keys.begin(), Keys.end(), [&](auto a, auto b) {
                       return Descending ? a <= b : a >= b;
                     }) == Keys.end()) {
    Followed = list.IndexOf(Follow) + 1;
    Nulls = null != count ? 1 : 0;
    keep(null);
    return true;
  }
  // Room for the null's place too, so that Places becomes the whole order.
  std::vector<std::uint64_t> places;
  ReserveAdvised(places, count);
  RadixSortKeys(Keys, places);
  if (std::adjacent_find(Keys.begin(), Keys.end()) != Keys.end()) return false;
  // Places as places in the list (the null left out of the keys), then the
  // whole order, descending by reversal: the null goes first in ascending
  // order, last in descending order.
  for (std::uint64_t& place : places) place += place < null ? 0 : 1;
  if (Descending) {
    std::reverse(places.begin(), places.end());
    std::reverse(Keys.begin(), Keys.end());
    if (null != count) places.push_back(null);
  } else if (null != count) {
    places.insert(places.begin(), null);
  }
  // The column's keys in the new order, the other kept columns' moved along.
  const bool nullFirst = null != count && !Descending;
  std::copy(Keys.begin(), Keys.end(), column.begin() + (nullFirst ? 1 : 0));
  if (Kept.Columns != nullptr) Kept.Columns->Follow(places, Kept.Changes);
  keep(null == count ? count : (Descending ? count - 1 : 0));
  Followed = PermuteItems(list, places, Follow);
  Nulls = null != count ? 1 : 0;
  return true;
}

// Texts of which no two are equal (at most one null) have one order only,
// the one partition exchange gives too, which a radix sort of their Leads
// finds sooner; each run of equal Leads is then ordered by Compare. Puts
// Entries in that order and returns true; returns false, having moved
// nothing, when two texts (or two nulls) are equal, as records with equal
// keys must end where partition exchange leaves them.
bool SortDistinctTexts(std::vector<SortEntry<WeighedText>>& entries, bool Descending,
                       const CompareTexts& compare) {
  const std::size_t count = entries.size();
  std::size_t null = count;  // the null entry's place; count when there is none
  std::vector<std::uint64_t> leads;
  ReserveAdvised(leads, count);
  for (std::size_t i = 0; i < count; ++i) {
    if (!entries[i].Null) {
      leads.push_back(entries[i].Value.Lead);
    } else if (null != count) {
      return false;
    } else {
      null = i;
    }
  }
  std::vector<std::uint64_t> places;
  RadixSortKeys(leads, places);
  // Places among the non-null entries, as places among all of them.
  for (std::uint64_t& place : places) place += place < null ? 0 : 1;
  const auto order = [&](std::uint64_t a, std::uint64_t b) {
    return compare(entries[a].Value, entries[b].Value);
  };
  for (std::size_t from = 0, to = 0; from < leads.size(); from = to) {
    to = from + 1;
    while (to < leads.size() && leads[to] == leads[from]) ++to;
    if (to - from < 2) continue;
    const auto run = places.begin() + static_cast<std::ptrdiff_t>(from);
    std::sort(run, places.begin() + static_cast<std::ptrdiff_t>(to),
              [&](std::uint64_t a, std::uint64_t b) { return order(a, b) < 0; });
    for (std::size_t i = from + 1; i < to; ++i) {
      if (order(places[i - 1], places[i]) == 0) return false;
    }
  }
  // Descending by reversal; the null goes first in ascending order, last in
  // descending order.
  if (Descending) std::reverse(places.begin(), places.end());
  std::vector<SortEntry<WeighedText>> sorted;
  sorted.reserve(count);
  if (null != count && !Descending) sorted.push_back(entries[null]);
  for (const std::uint64_t place : places) sorted.push_back(entries[place]);
  if (null != count && Descending) sorted.push_back(entries[null]);
  entries.swap(sorted);
  return true;
}

// Reads every item's key with Read(value area), sorts, and puts the items
// back into the list in the new order. Returns the new position (1-based)
// of the item Follow, 0 when it is not in the list. Kept(entries, store,
// compare), when given, sees the sorted entries before they go.
struct KeepNothing {
  template <typename... Any>
  void operator()(const Any&...) const {}
};

template <typename Key, typename Compare, typename ReadKey, typename Kept = KeepNothing>
int SortItems(TList& list, int SlotOffset, TlqSortOrder Order, Compare compare, const ReadKey& Read,
              const char* Follow, const KeptColumns& columns, const Kept& kept = {}) {
  const std::vector<void*> items = list.List();
  const int count = static_cast<int>(items.size());
  std::vector<SortEntry<Key>> entries;
  AssignAdvised(entries, items.size(), SortEntry<Key>{});
  bool nulls = false;
  // Text keys are copied next to each other as they are read, while their
  // record is at hand, so that comparing them reads a compact block of
  // memory instead of one record after another; Ends marks where each ends
  // in the store, which may move as it grows.
  std::string texts;
  std::vector<std::size_t> ends;
  if constexpr (kTextKey<Key>) {
    texts.reserve(items.size() * kTextReserve);
    AdviseHugePages(texts.data(), texts.capacity());
    AssignAdvised(ends, items.size(), std::size_t{0});
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i + kAhead < items.size()) {
      __builtin_prefetch(static_cast<const char*>(items[i + kAhead]) + SlotOffset);
    }
    auto& entry = entries[i];
    entry.Index = static_cast<std::uint32_t>(i);
    const char* slot = static_cast<const char*>(items[i]) + SlotOffset;
    entry.Null = slot[0] == 0;
    nulls = nulls || entry.Null;
    // A null slot's value area holds whatever an earlier value left: never read.
    if (!entry.Null) entry.Value = Read(slot + 1);
    if constexpr (kTextKey<Key>) {
      if (!entry.Null) texts.append(TextOf(entry.Value));
      ends[i] = texts.size();
    }
  }
  if constexpr (kTextKey<Key>) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      TextOf(entries[i].Value) = std::string_view(texts.data() + at, ends[i] - at);
      at = ends[i];
    }
    std::vector<std::size_t>().swap(ends);
    compare.Gather(entries, texts);
  }
  if constexpr (std::is_same_v<Key, WeighedText>) {
    if (!compare.ByKeys && SortDistinctTexts(entries, Order == soDescending, compare)) {
      return PutInOrder(list, items, entries, Follow, kept, texts, compare, columns);
    }
  }
  if (Order == soDescending) {
    if (nulls) {
      QuickSort<-1, true>(entries, 0, count - 1, compare);
    } else {
      QuickSort<-1, false>(entries, 0, count - 1, compare);
    }
  } else if (nulls) {
    QuickSort<1, true>(entries, 0, count - 1, compare);
  } else {
    QuickSort<1, false>(entries, 0, count - 1, compare);
  }
  return PutInOrder(list, items, entries, Follow, kept, texts, compare, columns);
}

// A decimal slot's value in units of its scale, which every value of the
// column shares: exact to 38 digits, where a double keeps 15.
__int128 DecimalUnits(const char* value) {
  const Decimal decimal = BcdToDecimal(value);
  const auto magnitude = static_cast<__int128>(decimal.Magnitude());
  return decimal.IsNegative() ? -magnitude : magnitude;
}

}  // namespace

int TlqBuffers::SortBuffer(int ColumnType, int SlotOffset, int SlotArea, TlqSortOrder Order,
                           const char* Follow, SortedKeys* Keep) {
  // The storage of the last sort's keys serves this one's.
  std::vector<std::uint64_t> keys;
  if (Keep != nullptr) keys = Keep->TakeKeyStorage();
  if (Count() < 2) return Count() == 1 && GetBuffer(1) == Follow ? 1 : 0;
  // Column keys kept by earlier sorts serve while the cache changed by
  // sorts only, which moved them along; a sort that does not move them
  // (every path but the ones that pass them on) leaves none.
  ColumnKeys* const columns = Keep != nullptr ? &Keep->Columns() : nullptr;
  if (columns != nullptr && !columns->Current(FChanges, static_cast<std::size_t>(Count()))) {
    columns->Clear();
  }
  ++FChanges;
  const KeptColumns kept{columns, FChanges};
  struct DropUnmoved {
    ColumnKeys* Columns;
    const TlqBuffers& Cache;
    ~DropUnmoved() {
      if (Columns != nullptr &&
          !Columns->Current(Cache.Changes(), static_cast<std::size_t>(Cache.Count()))) {
        Columns->Clear();
      }
    }
  } dropUnmoved{columns, *this};
  using namespace slots;
  // The sorted keys of numbers, for searches until the next change.
  const auto keepNumbers = [&](SortedKeys::Form form) {
    return [this, form, ColumnType, SlotOffset, Order, Keep](
               const auto& entries, const std::string&, const CompareNumbers&) {
      if (Keep == nullptr) return;
      std::vector<std::uint64_t> keys;
      keys.reserve(entries.size());
      for (const auto& entry : entries) {
        if (entry.Null) continue;
        keys.push_back(form == SortedKeys::Form::Integer
                           ? SortedKeys::IntegerKey(static_cast<std::int64_t>(entry.Value))
                           : SortedKeys::RealKey(static_cast<double>(entry.Value)));
      }
      const int nulls = static_cast<int>(entries.size() - keys.size());
      Keep->Keep(SlotOffset, ColumnType, form, Order == soDescending, nulls, std::move(keys),
                 FChanges);
    };
  };
  // Distinct numbers by their keys alone; others as every column.
  const auto sortNumbers = [&]<typename Key>(SortedKeys::Form form, const auto& read) {
    int nulls = 0;
    int followed = 0;
    if (SortDistinct<Key>(*this, SlotOffset, ColumnType, Order == soDescending, read, Follow, keys,
                          nulls, followed, kept)) {
      if (Keep != nullptr) {
        Keep->Keep(SlotOffset, ColumnType, form, Order == soDescending, nulls, std::move(keys),
                   FChanges);
      }
      return followed;
    }
    return SortItems<Key>(*this, SlotOffset, Order, CompareNumbers{}, read, Follow, kept,
                          keepNumbers(form));
  };
  const auto integers = [&](auto read) {
    return sortNumbers.template operator()<std::int64_t>(
        SortedKeys::Form::Integer,
        [&](const char* v) { return static_cast<std::int64_t>(read(v)); });
  };
  const auto numbers = [&](auto read) {
    return sortNumbers.template operator()<double>(SortedKeys::Form::Real, read);
  };
  switch (ColumnType) {
    case kSQLIMAGE:
    case kSQLTEXT:
      // By the length of the content, which the descriptor holds.
      return integers([](const char* v) { return Read<std::int32_t>(v + 24); });
    case kSQLVARCHAR:
    case kSQLCHAR: {
      const auto keepTexts = [&](auto& entries, std::string& store, const CompareTexts& compare) {
        if (Keep == nullptr) return;
        std::vector<std::string_view> texts;
        texts.reserve(entries.size());
        for (const auto& entry : entries) {
          if (!entry.Null) texts.push_back(entry.Value.Text);
        }
        const int nulls = static_cast<int>(entries.size() - texts.size());
        Keep->KeepTexts(SlotOffset, ColumnType,
                        compare.ByKeys ? SortedKeys::Form::CollationKeys : SortedKeys::Form::Text,
                        Order == soDescending, nulls, std::move(store), std::move(texts), FChanges);
      };
      return SortItems<WeighedText>(
          *this, SlotOffset, Order, CompareTexts{},
          [&](const char* v) { return WeighedText{Text(v, SlotArea)}; }, Follow, kept, keepTexts);
    }
    case kSQLVARBINARY:
      // A 16-bit length, then the bytes.
      return SortItems<std::string_view>(
          *this, SlotOffset, Order, CompareBytes{},
          [&](const char* v) {
            const int length = Read<std::uint16_t>(v);
            const int room = SlotArea > 2 ? SlotArea - 2 : 0;
            return std::string_view(v + 2, static_cast<std::size_t>(std::min(length, room)));
          },
          Follow, kept);
    case kSQLBINARY:
      return SortItems<std::string_view>(
          *this, SlotOffset, Order, CompareBytes{},
          [&](const char* v) {
            return std::string_view(v, static_cast<std::size_t>(SlotArea > 1 ? SlotArea - 1 : 0));
          },
          Follow, kept);
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
      // Fixed forms of digits, upper-case hex letters and signs: their bytes
      // are their order.
      return SortItems<std::string_view>(
          *this, SlotOffset, Order, CompareBytes{},
          [&](const char* v) { return Text(v, SlotArea); }, Follow, kept);
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
      return SortItems<__int128>(*this, SlotOffset, Order, CompareNumbers{}, DecimalUnits, Follow,
                                 kept);
    default:
      return SortItems<char>(
          *this, SlotOffset, Order, CompareNothing{}, [](const char*) { return char{}; }, Follow,
          kept);
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
    // The current record is followed through the sort by its block, so that
    // finding it again needs no walk over the cache.
    const int before = current.empty() ? 0 : BookmarkPosition(current.data());
    const char* item = before == 0 ? nullptr : FRecordCache.GetBuffer(before);
    const auto column = static_cast<std::size_t>(field->FieldNo());
    if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
    const int after = FRecordCache.SortBuffer(FColumnTypes[column], FFieldOffsets[column - 1],
                                              FColumnSizes[column - 1] + 1, Order, item,
                                              &FLocateIndexes->Sorted());
    FLocateIndexes->FitSorted();
    if (current.empty()) continue;
    if (after != 0) {
      FCurrentIndex = after;
    } else {
      InternalGotoBookmark(current.data());
    }
    Resync(rmExact | rmCenter);
    DoAfterScroll();
  }
}

}  // namespace tessel
