// Locate and Lookup over the record cache: the search starts at the first
// cached record and reads further rows from the open result, one at a time,
// while nothing matches.
//
// Every key value is converted once, before the search moves anything, into
// the form the field's slot holds its value in; each record is then compared
// on the slot directly. A key compares with the value the field shows: a
// null field equals only a Null key; numbers compare by value whatever bytes
// their column type keeps; a date key matches a date field only without a
// time of day, and a time key a time field only on day 0, as those fields
// show their values. Text compares as the server's default collation does
// (see collation/text_collation.h), with case counting unless loCaseInsensitive is
// given, and loPartialKey matching whole characters at the start. Keys that
// cannot be compared that way (text and image, binary, calculated fields,
// values that do not convert) are refused before the cursor moves.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collation/text_collation.h"
#include "framework/data_consts.h"
#include "framework/decimal.h"
#include "framework/sysutils.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "search/locate_index.h"
#include "search/query_search_key.h"

namespace tessel {
namespace {

std::string ValueText(const Variant& value) {
  try {
    if (!value.IsArray()) return VarToStr(value);
    std::string text;
    for (int i = 0; i < value.ArrayCount(); ++i) {
      if (i > 0) text += ", ";
      text += VarToStr(value[i]);
    }
    return text;
  } catch (const Exception&) {
    return value.TypeName();
  }
}

int KeyValueCount(const Variant& values) {
  return values.IsArray() ? values.ArrayCount() : 1;
}

const Variant& KeyValue(const Variant& values, int index) {
  return values.IsArray() ? values[index] : values;
}

KeyKind KindOf(const TField* field) {
  switch (field->DataType()) {
    case ftString:
      return KeyKind::Text;
    case ftBoolean:
      return KeyKind::Boolean;
    case ftDateTime:
      return KeyKind::DateTime;
    case ftDate:
      return KeyKind::Date;
    case ftTime:
      return KeyKind::Time;
    case ftLargeint:
      return KeyKind::Largeint;
    default:
      return KeyKind::Number;
  }
}

const char* InvalidValueFormat(KeyKind kind) {
  switch (kind) {
    case KeyKind::Number:
    case KeyKind::Real:
      return dbconsts::SInvalidFloatValue;
    case KeyKind::Largeint:
      return dbconsts::SInvalidIntegerValue;
    case KeyKind::Boolean:
      return dbconsts::SInvalidBoolValue;
    case KeyKind::DateTime:
      return dbconsts::SInvalidDateTimeValue;
    case KeyKind::Date:
      return dbconsts::SInvalidDateValue;
    case KeyKind::Time:
      return dbconsts::SInvalidTimeValue;
    case KeyKind::Text:
      break;
  }
  return dbconsts::SInvalidValue;
}

// Fields whose slot cannot be compared with a key value.
void CheckKeyField(const TField* field) {
  if (field->FieldNo() < 1) {
    RaiseDatabaseError(Format(SLocateCalcField.str(), {field->FieldName()}));
  }
  switch (field->DataType()) {
    case ftString:
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime:
    case ftDate:
    case ftTime:
    case ftLargeint:
      return;
    case ftUnknown:
      RaiseDatabaseError(Format(SFieldUndefinedType.str(), {field->FieldName()}));
    default:
      // Text and image among them: their slot holds a descriptor, not content.
      RaiseDatabaseError(Format(SFieldUnsupportedType.str(), {field->FieldName()}));
  }
}

// A 64-bit integer key: false for a number with a fraction or beyond the
// range, which no bigint field shows.
bool IntegerKey(const Variant& value, std::int64_t& integer) {
  switch (value.VarType()) {
    case varCurrency: {
      const std::int64_t scaled = value.AsCurrency().Scaled();
      integer = scaled / 10000;
      return scaled % 10000 == 0;
    }
    case varDouble:
    case varDate: {
      const double number = value.AsFloat();
      // 2^63: the first double past the range.
      if (number != std::trunc(number) || number < -0x1p63 || number >= 0x1p63) return false;
      integer = static_cast<std::int64_t>(number);
      return true;
    }
    default:
      integer = value.AsInteger();
      return true;
  }
}

}  // namespace

bool TTessel::Locate(const std::string& KeyFields, const Variant& KeyValues,
                     TLocateOptions Options) {
  CheckBrowseMode();
  // Bad keys raise here, before the scroll events and before the cursor moves.
  std::vector<SearchKey> keys = SearchKeys(KeyFields, KeyValues, Options);
  DoBeforeScroll();
  CursorPosChanged();
  const int position = FindRecord(keys);
  if (position == 0) return false;
  FCurrentIndex = position;
  Resync(rmExact | rmCenter);
  DoAfterScroll();
  return true;
}

bool TTessel::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                           TLocateOptions Options, bool /*SyncCursor*/) {
  CheckBrowseMode();
  std::vector<SearchKey> keys = SearchKeys(KeyFields, KeyValues, Options);
  CursorPosChanged();
  const int position = FindRecord(keys);
  if (position != 0) FCurrentIndex = position;
  return position != 0;
}

Variant TTessel::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                        const std::string& ResultFields) {
  CheckBrowseMode();
  if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
  FieldListMemo& lists = FLocateIndexes->FieldLists();
  std::vector<SearchKey> keys;
  const std::vector<TField*>& keyFields = lists.Resolve(*this, KeyFields);
  if (keyFields.size() == 1 && !KeyValues.IsArray()) {
    // One key field and one value, as a grid's lookup field asks for each
    // cell: converted as SearchKeys does (raising in the same order), and
    // answered from a table of answers when one serves.
    SearchKey key = MakeSearchKey(keyFields.front(), KeyValues, 0);
    // Unknown result fields raise before the search.
    const std::vector<TField*>& asked = lists.Resolve(*this, ResultFields);
    CursorPosChanged();
    Variant answer;
    if (asked.size() == 1 && AnsweredLookup(key, asked.front(), answer)) return answer;
    keys.push_back(std::move(key));
  } else {
    keys = SearchKeys(KeyFields, KeyValues, 0);
    lists.Resolve(*this, ResultFields);
    CursorPosChanged();
  }
  const char* known = nullptr;
  const int position = FindRecord(keys, &known);
  if (position == 0) return Null();
  // Resolved again (from the memo) as rows read during the search may have
  // run calculated fields, and with them other searches; copied as computing
  // this record's calculated fields below may too.
  const std::vector<TField*> results = FLocateIndexes->FieldLists().Resolve(*this, ResultFields);
  const auto values = [&results] {
    if (results.size() == 1) return results.front()->AsVariant();
    std::vector<Variant> list;
    list.reserve(results.size());
    for (const TField* field : results) list.push_back(field->AsVariant());
    return Variant::FromArray(std::move(list));
  };
  // Without calculated fields to compute (nor a handler that could change
  // anything) the values are read from the cached record itself; blobs,
  // whose reading may note what it read in the record, from a copy as below.
  const bool direct = CalcFieldsSize() == 0 && !OnCalcFields &&
                      std::none_of(results.begin(), results.end(),
                                   [](const TField* field) { return field->IsBlob(); });
  // The record as the index knew it saves a read of the cache's list; only
  // read through the filter buffer.
  TRecordBuffer record =
      known != nullptr ? const_cast<char*>(known) : FRecordCache.GetBuffer(position);
  if (!direct) {
    // A copy of the found record, with its calculated fields computed, so
    // that the cursor and the shown records stay as they were.
    record = TempBuffer();
    std::memcpy(record, FRecordCache.GetBuffer(position),
                static_cast<std::size_t>(FRecordBufferSize));
  }
  const TDataSetState saved = SetTempState(direct ? dsFilter : dsCalcFields);
  FFilterBuffer = record;
  try {
    if (!direct) CalculateFields(record);
    Variant result = values();
    FFilterBuffer = nullptr;
    RestoreState(saved);
    return result;
  } catch (...) {
    FFilterBuffer = nullptr;
    RestoreState(saved);
    throw;
  }
}

std::vector<TTessel::SearchKey> TTessel::SearchKeys(const std::string& KeyFields,
                                                    const Variant& KeyValues,
                                                    TLocateOptions Options) {
  if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
  const std::vector<TField*>& fields = FLocateIndexes->FieldLists().Resolve(*this, KeyFields);
  const int values = KeyValueCount(KeyValues);
  if (fields.empty() || values != static_cast<int>(fields.size())) {
    RaiseDatabaseError(
        Format(SLocateKeyCount.str(), {values, static_cast<int>(fields.size()), KeyFields}));
  }
  std::vector<SearchKey> keys;
  keys.reserve(fields.size());
  for (std::size_t k = 0; k < fields.size(); ++k) {
    keys.push_back(MakeSearchKey(fields[k], KeyValue(KeyValues, static_cast<int>(k)), Options));
  }
  return keys;
}

TTessel::SearchKey TTessel::MakeSearchKey(TField* Field, const Variant& Value,
                                          TLocateOptions Options) const {
  CheckKeyField(Field);
  SearchKey key;
  key.Field = Field;
  const auto column = static_cast<std::size_t>(Field->FieldNo());
  key.Offset = FFieldOffsets.at(column - 1);
  key.Area = FColumnSizes.at(column - 1) + 1;
  key.Code = FColumnTypes[column];
  key.Kind = KindOf(Field);
  if (key.Kind == KeyKind::Number && key.Code == slots::kSQLFLT4) key.Kind = KeyKind::Real;
  key.Options = Options;
  if (Value.IsNull() || Value.IsEmpty()) {
    key.Null = true;
    return key;
  }
  try {
    switch (key.Kind) {
      case KeyKind::Text:
        key.Text = VarToStr(Value);
        break;
      case KeyKind::Number:
        key.Number = Value.AsFloat();
        break;
      case KeyKind::Real:
        key.Number = Value.AsFloat();
        key.Real = static_cast<float>(key.Number);
        break;
      case KeyKind::Boolean:
        key.Number = Value.AsBoolean() ? 1 : 0;
        break;
      case KeyKind::DateTime:
      case KeyKind::Date:
      case KeyKind::Time:
        key.Number = TimeStampToMSecs(DateTimeToTimeStamp(Value.AsDateTime()));
        break;
      case KeyKind::Largeint:
        key.Never = !IntegerKey(Value, key.Integer);
        break;
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception&) {
    RaiseDatabaseError(
        Format(InvalidValueFormat(key.Kind), {ValueText(Value), Field->FieldName()}));
  }
  return key;
}

namespace {

// Calls Use with the test of a non-null slot's value area against Key, typed
// for the key's column, so that a scan over many records has the test
// inlined; Other tests the columns without a type of their own here. Key
// must not be a Null key.
template <typename SearchKey, typename Other, typename Use>
decltype(auto) WithValueTest(const SearchKey& Key, const Other& other, Use&& use) {
  if (Key.Never) return use([](const char*) { return false; });
  switch (Key.Kind) {
    case KeyKind::Text: {
      const std::string_view wanted = Key.Text;
      const int area = Key.Area;
      const collation::Level level = (Key.Options & loCaseInsensitive) != 0
                                         ? collation::Level::IgnoreCase
                                         : collation::Level::Case;
      const collation::AsciiWeights* weights = &collation::Weights();
      if (Key.Options & loPartialKey) {
        return use([wanted, area, level, weights](const char* value) {
          return collation::StartsWith(slots::Text(value, area), wanted, level, *weights);
        });
      }
      return use([wanted, area, level, weights](const char* value) {
        return collation::Equal(slots::Text(value, area), wanted, level, *weights);
      });
    }
    case KeyKind::Boolean:
      return use([n = Key.Number](const char* value) { return (value[0] == 1 ? 1.0 : 0.0) == n; });
    case KeyKind::DateTime:
      return use([n = Key.Number](const char* value) { return slots::Read<double>(value) == n; });
    case KeyKind::Date:
      // Day numbers and milliseconds are exact in a double up to 9999-12-31.
      return use([n = Key.Number](const char* value) {
        return slots::Read<std::int32_t>(value) * double{MSecsPerDay} == n;
      });
    case KeyKind::Time:
      return use([n = Key.Number](const char* value) {
        return kTimeDayMSecs + slots::Read<std::int32_t>(value) == n;
      });
    case KeyKind::Largeint:
      return use(
          [i = Key.Integer](const char* value) { return slots::Read<std::int64_t>(value) == i; });
    case KeyKind::Real:
      return use([r = Key.Real](const char* value) { return slots::Read<float>(value) == r; });
    case KeyKind::Number:
      break;
  }
  const double n = Key.Number;
  switch (Key.Code) {
    case slots::kSQLINT1:
      return use([n](const char* value) { return static_cast<std::uint8_t>(value[0]) == n; });
    case slots::kSQLINT2:
      return use([n](const char* value) { return slots::Read<std::int16_t>(value) == n; });
    case slots::kSQLINT4:
      return use([n](const char* value) { return slots::Read<std::int32_t>(value) == n; });
    case slots::kSQLFLT8:
      return use([n](const char* value) { return slots::Read<double>(value) == n; });
    case slots::kSQLMONEY:
      return use([n](const char* value) {
        return static_cast<double>(slots::MoneyUnits(value)) / 10000.0 == n;
      });
    case slots::kSQLMONEY4:
      return use(
          [n](const char* value) { return slots::Read<std::int32_t>(value) / 10000.0 == n; });
    default:
      break;
  }
  return use(other);
}

// Scans fetch the records this far ahead into the processor's cache while
// the current one is compared: after a sort, records lie in memory in no
// relation to their order, and waiting for each in turn is most of the time.
constexpr std::size_t kAhead = 16;

// The first of items[from..] (0-based) whose slot at Offset holds a null
// (for a Null key) or a value that passes Test; -1 when none does.

template <typename Test>
std::ptrdiff_t ScanItems(const std::vector<void*>& Items, std::size_t From, int Offset, bool Null,
                         const Test& test) {
  const std::size_t count = Items.size();
  for (std::size_t i = From; i < count; ++i) {
    if (i + kAhead < count)
      __builtin_prefetch(static_cast<const char*>(Items[i + kAhead]) + Offset);
    const char* slot = static_cast<const char*>(Items[i]) + Offset;
    if (slot[0] == 0 ? Null : (!Null && test(slot + 1))) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

}  // namespace

// Any other column: its value as field access yields it, as a double.
double TTessel::ShownNumber(const SearchKey& Key, const char* Value) const {
  const char* slot = Value - 1;
  switch (Key.Field->DataType()) {
    case ftBCD: {
      std::uint8_t shown[kBcdSize];
      ReadFieldValue(Key.Field, slot, shown);
      return BcdToDecimal(shown).ToDouble();
    }
    case ftCurrency: {
      std::int64_t shown = 0;
      ReadFieldValue(Key.Field, slot, &shown);
      return static_cast<double>(shown) / 10000.0;
    }
    case ftFloat: {
      double shown = 0;
      ReadFieldValue(Key.Field, slot, &shown);
      return shown;
    }
    case ftSmallint: {
      std::int16_t shown = 0;
      ReadFieldValue(Key.Field, slot, &shown);
      return shown;
    }
    case ftWord: {
      std::uint16_t shown = 0;
      ReadFieldValue(Key.Field, slot, &shown);
      return shown;
    }
    default: {
      std::int32_t shown = 0;
      ReadFieldValue(Key.Field, slot, &shown);
      return shown;
    }
  }
}

bool TTessel::ShownValueEquals(const SearchKey& Key, const char* Value) const {
  return ShownNumber(Key, Value) == Key.Number;
}

bool TTessel::SlotMatches(const SearchKey& Key, const char* Record) const {
  const char* slot = Record + Key.Offset;
  if (slot[0] == 0 || Key.Null) return slot[0] == 0 && Key.Null;
  const auto other = [this, &Key](const char* value) { return ShownValueEquals(Key, value); };
  return WithValueTest(Key, other, [slot](const auto& test) { return test(slot + 1); });
}

// The position of the first cached record from position From on whose every
// key matches; 0 when none does.
int TTessel::ScanCache(const std::vector<SearchKey>& Keys, int From) const {
  const std::vector<void*>& items = FRecordCache.List();
  const auto from = static_cast<std::size_t>(From - 1);
  if (Keys.size() == 1) {
    const SearchKey& key = Keys.front();
    const auto other = [this, &key](const char* value) { return ShownValueEquals(key, value); };
    const std::ptrdiff_t found =
        key.Null ? ScanItems(items, from, key.Offset, true, [](const char*) { return false; })
                 : WithValueTest(key, other, [&](const auto& test) {
                     return ScanItems(items, from, key.Offset, false, test);
                   });
    return static_cast<int>(found + 1);
  }
  for (std::size_t i = from; i < items.size(); ++i) {
    if (i + kAhead < items.size()) __builtin_prefetch(items[i + kAhead]);
    const char* record = static_cast<const char*>(items[i]);
    bool match = true;
    for (const SearchKey& key : Keys) {
      if (!SlotMatches(key, record)) {
        match = false;
        break;
      }
    }
    if (match) return static_cast<int>(i + 1);
  }
  return 0;
}

// The position of the first record, in cache order, whose every key matches;
// 0 when none does. Rows read from the server while searching join the cache
// (and FAllFetched is set at the end of the data); the connection stays with
// the query until it closes.
int TTessel::FindRecord(const std::vector<SearchKey>& Keys, const char** Record) {
  if (Record != nullptr) *Record = nullptr;
  const TDataSetState saved = SetTempState(dsFilter);
  FFilterBuffer = TempBuffer();
  try {
    int found = 0;
    for (int i = 1; found == 0;) {
      if (i <= RecordCountHeld()) {
        if (i != 1 || !IndexedFind(Keys, found, Record)) found = ScanCache(Keys, i);
        i = RecordCountHeld() + 1;
        continue;
      }
      if (FAllFetched) break;
      if (NextServerRow() == NO_MORE_ROWS) {
        FAllFetched = true;
        break;
      }
      if (!GetRecordData(nullptr)) break;
    }
    FFilterBuffer = nullptr;
    RestoreState(saved);
    return found;
  } catch (...) {
    FFilterBuffer = nullptr;
    RestoreState(saved);
    throw;
  }
}

}  // namespace tessel
