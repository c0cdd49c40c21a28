// Exact-match Locate and Lookup on the field the cache was last sorted by:
// the sort kept that field's keys in cache order (sorted_keys.h), so the
// first record holding a value is found by bisection, and the only record
// read is the one found. Texts are found so when case counts, as the sort
// orders them.
//
// The bisection takes each key in the terms the search compares slot values
// in (the milliseconds of a date, the value of money, ...). Those never
// decrease as the keys grow, so the records that match lie together and the
// first of them is the first whose value is not below the one searched for
// (not above it, in descending order). That record is confirmed by the
// scan's own test, which also guards against keys that no longer fit.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collation/text_collation.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "search/locate_index.h"
#include "search/query_search_key.h"
#include "search/sorted_keys.h"

namespace tessel {
namespace {

// How a kept key reads in the search's terms, for the column types whose
// search compares a double; nothing for the others.
template <typename SearchKey>
std::optional<double (*)(std::uint64_t)> ShownAs(const SearchKey& Key, SortedKeys::Form Form) {
  using slots::kSQLDATE;
  using F = SortedKeys::Form;
  const auto integer = [](std::uint64_t k) {
    return static_cast<double>(SortedKeys::IntegerOf(k));
  };
  const auto real = [](std::uint64_t k) { return SortedKeys::RealOf(k); };
  switch (Key.Kind) {
    case KeyKind::Number:
      switch (Key.Code) {
        case slots::kSQLINT1:
        case slots::kSQLINT2:
        case slots::kSQLINT4:
          if (Form == F::Integer) return +integer;
          break;
        case slots::kSQLFLT8:
          if (Form == F::Real) return +real;
          break;
        case slots::kSQLMONEY:
        case slots::kSQLMONEY4:
          // Kept as the values the search compares.
          if (Form == F::Real) return +real;
          break;
        default:
          break;
      }
      return std::nullopt;
    case KeyKind::Real:
      if (Key.Code == slots::kSQLFLT4 && Form == F::Real) return +real;
      return std::nullopt;
    case KeyKind::DateTime:
      if ((Key.Code == slots::kSQLDATETIME || Key.Code == slots::kSQLDATETIM4 ||
           Key.Code == slots::kSQLDATETIME2) &&
          Form == F::Real) {
        return +real;
      }
      return std::nullopt;
    case KeyKind::Date:
      if (Key.Code == kSQLDATE && Form == F::Integer) {
        return +[](std::uint64_t k) {
          return static_cast<double>(SortedKeys::IntegerOf(k)) * double{MSecsPerDay};
        };
      }
      return std::nullopt;
    case KeyKind::Time:
      if (Key.Code == slots::kSQLTIME && Form == F::Integer) {
        return +[](std::uint64_t k) {
          return kTimeDayMSecs + static_cast<double>(SortedKeys::IntegerOf(k));
        };
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The index of the first key whose shown value equals Wanted, the keys'
// shown values rising (or, Descending, falling); the count when none does.
template <typename T, typename Shown>
std::size_t FirstEqual(const std::vector<std::uint64_t>& Keys, bool Descending, T Wanted,
                       const Shown& shown) {
  const auto first = std::partition_point(Keys.begin(), Keys.end(), [&](std::uint64_t k) {
    return Descending ? Wanted < shown(k) : shown(k) < Wanted;
  });
  if (first == Keys.end() || !(shown(*first) == Wanted)) return Keys.size();
  return static_cast<std::size_t>(first - Keys.begin());
}

// The same for texts, in their sort's order: collation keys compare by
// their bytes, texts as the sort compared them.
template <typename Shown>
std::size_t FirstEqual(const std::vector<std::string_view>& Texts, bool Descending,
                       std::string_view Wanted, const Shown& shown) {
  const auto first = std::partition_point(Texts.begin(), Texts.end(), [&](std::string_view t) {
    return Descending ? shown(t).compare(Wanted) > 0 : shown(t).compare(Wanted) < 0;
  });
  if (first == Texts.end() || shown(*first) != Wanted) return Texts.size();
  return static_cast<std::size_t>(first - Texts.begin());
}

std::size_t FirstEqual(const std::vector<std::string_view>& Texts, bool Descending,
                       std::string_view Wanted, const collation::AsciiWeights& Weights) {
  const auto first = std::partition_point(Texts.begin(), Texts.end(), [&](std::string_view t) {
    const int order = collation::Compare(t, Wanted, Weights);
    return Descending ? order > 0 : order < 0;
  });
  if (first == Texts.end() || collation::Compare(*first, Wanted, Weights) != 0) {
    return Texts.size();
  }
  return static_cast<std::size_t>(first - Texts.begin());
}

}  // namespace

bool TTessel::SortedFind(const SearchKey& Key, int& Position) const {
  if (!FLocateIndexes || Key.Never || (Key.Options & loPartialKey) != 0) return false;
  const SortedKeys& sorted = FLocateIndexes->Sorted();
  if (!sorted.Serves(Key.Offset, RecordCountHeld(), FRecordCache.Changes()) ||
      sorted.ColumnType() != Key.Code) {
    return false;
  }
  if (Key.Null) {
    Position = sorted.FirstNull();
    return true;
  }
  const std::vector<std::uint64_t>& keys = sorted.Keys();
  std::size_t found = keys.size();
  if (Key.Kind == KeyKind::Text) {
    // The sort compares with case counting: only such searches share its order.
    if ((Key.Options & loCaseInsensitive) != 0) return false;
    const std::vector<std::string_view>& texts = sorted.Texts();
    const auto position = [&](std::size_t found) {
      return found == texts.size() ? 0 : sorted.PositionOf(found);
    };
    if (sorted.KeyForm() == SortedKeys::Form::CollationKeys) {
      std::string wanted;
      collation::AppendSortKey(Key.Text, wanted);
      found = FirstEqual(texts, sorted.Descending(), std::string_view(wanted),
                         [](std::string_view text) { return text; });
    } else if (sorted.KeyForm() == SortedKeys::Form::Text) {
      const collation::AsciiWeights& weights = collation::Weights();
      found = FirstEqual(texts, sorted.Descending(), Key.Text, weights);
    } else {
      return false;
    }
    Position = position(found);
    return Position == 0 || SlotMatches(Key, FRecordCache.GetBuffer(Position));
  }
  if (Key.Kind == KeyKind::Largeint) {
    if (Key.Code != slots::kSQLINT8 || sorted.KeyForm() != SortedKeys::Form::Integer) return false;
    found = FirstEqual(keys, sorted.Descending(), Key.Integer, &SortedKeys::IntegerOf);
  } else {
    const auto shown = ShownAs(Key, sorted.KeyForm());
    if (!shown) return false;
    const double wanted = Key.Kind == KeyKind::Real ? double{Key.Real} : Key.Number;
    found = FirstEqual(keys, sorted.Descending(), wanted, *shown);
  }
  if (found == keys.size()) {
    Position = 0;
    return true;
  }
  const int position = sorted.PositionOf(found);
  if (!SlotMatches(Key, FRecordCache.GetBuffer(position))) return false;
  Position = position;
  return true;
}

}  // namespace tessel
