// Exact-match Locate and Lookup through key indexes (locate_index.h): the
// bytes a record's key and a search key are hashed by, and the search.
//
// Two records give the same bytes exactly when every search key that
// matches one matches the other, so an index that enters each distinct
// key once loses no answer: text by its collation key at the search's
// level, numbers as the double (or float, or 64-bit integer) they are
// compared as, with a flag byte for null.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "collation/text_collation.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "search/locate_index.h"
#include "search/query_search_key.h"

namespace tessel {
namespace {

template <typename T>
void AppendBits(T value, std::string& out) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

// -0 and 0 compare equal, so they must hash alike.
void AppendNumber(double value, std::string& out) {
  AppendBits(value == 0 ? 0.0 : value, out);
}

// Templates, as SearchKey is TTessel's own.
template <typename SearchKey>
collation::Level LevelOf(const SearchKey& Key) {
  return (Key.Options & loCaseInsensitive) != 0 ? collation::Level::IgnoreCase
                                                : collation::Level::Case;
}

// Collation keys hold no zero byte: the one after each ends it.
void AppendText(std::string_view text, collation::Level level, std::string& out) {
  collation::AppendSortKey(text, out, level);
  out += '\0';
}

template <typename SearchKey>
void AppendSearchKey(const SearchKey& Key, std::string& out) {
  if (Key.Null) {
    out += '\0';
    return;
  }
  out += '\1';
  switch (Key.Kind) {
    case KeyKind::Text:
      AppendText(Key.Text, LevelOf(Key), out);
      return;
    case KeyKind::Largeint:
      AppendBits(Key.Integer, out);
      return;
    case KeyKind::Real:
      AppendNumber(Key.Real, out);
      return;
    default:
      AppendNumber(Key.Number, out);
      return;
  }
}

}  // namespace

void TTessel::AppendRecordKey(const SearchKey& Key, const char* Record, std::string& Out) const {
  const char* slot = Record + Key.Offset;
  if (slot[0] == 0) {
    Out += '\0';
    return;
  }
  Out += '\1';
  const char* value = slot + 1;
  using slots::Read;
  switch (Key.Kind) {
    case KeyKind::Text:
      AppendText(slots::Text(value, Key.Area), LevelOf(Key), Out);
      return;
    case KeyKind::Boolean:
      AppendNumber(value[0] == 1 ? 1.0 : 0.0, Out);
      return;
    case KeyKind::DateTime:
      AppendNumber(Read<double>(value), Out);
      return;
    case KeyKind::Date:
      AppendNumber(Read<std::int32_t>(value) * double{MSecsPerDay}, Out);
      return;
    case KeyKind::Time:
      AppendNumber(kTimeDayMSecs + Read<std::int32_t>(value), Out);
      return;
    case KeyKind::Largeint:
      AppendBits(Read<std::int64_t>(value), Out);
      return;
    case KeyKind::Real:
      AppendNumber(Read<float>(value), Out);
      return;
    case KeyKind::Number:
      break;
  }
  switch (Key.Code) {
    case slots::kSQLINT1:
      AppendNumber(static_cast<std::uint8_t>(value[0]), Out);
      return;
    case slots::kSQLINT2:
      AppendNumber(Read<std::int16_t>(value), Out);
      return;
    case slots::kSQLINT4:
      AppendNumber(Read<std::int32_t>(value), Out);
      return;
    case slots::kSQLFLT8:
      AppendNumber(Read<double>(value), Out);
      return;
    case slots::kSQLMONEY:
      AppendNumber(static_cast<double>(slots::MoneyUnits(value)) / 10000.0, Out);
      return;
    case slots::kSQLMONEY4:
      AppendNumber(Read<std::int32_t>(value) / 10000.0, Out);
      return;
    default:
      AppendNumber(ShownNumber(Key, value), Out);
      return;
  }
}

bool TTessel::IndexedFind(const std::vector<SearchKey>& Keys, int& Position, const char** Record) {
  if (Keys.size() == 1 && SortedFind(Keys.front(), Position)) return true;
  // Partial keys match ranges of values, which a hash cannot find.
  if (Keys.size() == 1 && (Keys.front().Options & loPartialKey) != 0) {
    return PrefixFind(Keys.front(), Position);
  }
  std::string spec;
  for (const SearchKey& key : Keys) {
    if (key.Never || (key.Options & loPartialKey) != 0) return false;
    spec += std::to_string(key.Field->FieldNo());
    spec += key.Kind == KeyKind::Text && LevelOf(key) == collation::Level::IgnoreCase ? 'i' : ',';
  }
  if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
  const int count = RecordCountHeld();
  LocateIndex* index = FLocateIndexes->Use(spec, count, FRecordCache.Changes());
  if (index == nullptr) return false;

  const std::vector<void*>& items = FRecordCache.List();
  std::string bytes;
  std::string entered;
  const auto recordKey = [&](const char* record, std::string& out) {
    out.clear();
    for (const SearchKey& key : Keys) AppendRecordKey(key, record, out);
  };
  // Rows read since the index was last used (or all of them, when new or
  // grown).
  index->Room(count);
  for (int p = index->Covered() + 1; p <= count; ++p) {
    const char* record = static_cast<const char*>(items[static_cast<std::size_t>(p - 1)]);
    recordKey(record, bytes);
    index->Add(KeyHash(bytes), p, record, [&](const char* other) {
      recordKey(other, entered);
      return entered == bytes;
    });
  }
  if (!index->Usable()) return false;
  bytes.clear();
  for (const SearchKey& key : Keys) AppendSearchKey(key, bytes);
  const LocateIndex::Found found = index->Find(KeyHash(bytes), [&](const char* candidate) {
    for (const SearchKey& key : Keys) {
      if (!SlotMatches(key, candidate)) return false;
    }
    return true;
  });
  Position = found.Position;
  if (Record != nullptr) *Record = found.Record;
  return true;
}

}  // namespace tessel
