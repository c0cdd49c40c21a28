// Locate and Lookup over the record cache: the search starts at the first
// cached record and reads further rows from the open result, one at a time,
// while nothing matches.
//
// Every key value is converted once, before the search moves anything, into
// the form the field's slot holds its value in; each record is then compared
// on the slot directly. A key compares with the value the field shows: a
// null field equals only a Null key; numbers compare by value whatever bytes
// their column type keeps; text follows the options (case, prefix). Keys
// that cannot be compared that way (text and image, binary, calculated
// fields, values that do not convert) are refused before the cursor moves.

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/data_consts.h"
#include "framework/sysutils.h"
#include "query_slot_values.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

enum class KeyKind : std::uint8_t { Text, Number, Real, Boolean, DateTime };

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
    default:
      return KeyKind::Number;
  }
}

const char* InvalidValueFormat(KeyKind kind) {
  switch (kind) {
    case KeyKind::Number:
    case KeyKind::Real:
      return dbconsts::SInvalidFloatValue;
    case KeyKind::Boolean:
      return dbconsts::SInvalidBoolValue;
    case KeyKind::DateTime:
      return dbconsts::SInvalidDateTimeValue;
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
    case ftDateTime:
      return;
    case ftUnknown:
      RaiseDatabaseError(Format(SFieldUndefinedType.str(), {field->FieldName()}));
    default:
      // Text and image among them: their slot holds a descriptor, not content.
      RaiseDatabaseError(Format(SFieldUnsupportedType.str(), {field->FieldName()}));
  }
}

}  // namespace

// One key field with its value in the slot's terms.
struct TTessel::SearchKey {
  const TField* Field = nullptr;
  int Offset = 0;  // of the field's slot in a record
  int Area = 0;    // bytes of the slot's value area
  int Code = 0;    // the column's type code
  KeyKind Kind = KeyKind::Number;
  bool Null = false;
  TLocateOptions Options = 0;
  std::string Text;
  double Number = 0;  // numbers, booleans (0/1), date-times in milliseconds
  float Real = 0;     // a real column's key, at the column's precision
};

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
  std::vector<SearchKey> keys = SearchKeys(KeyFields, KeyValues, 0);
  std::vector<TField*> results;
  GetFieldList(results, ResultFields);
  CursorPosChanged();
  const int position = FindRecord(keys);
  if (position == 0) return Null();
  // The values are read from a copy of the found record, with its calculated
  // fields computed, so that the cursor and the shown records stay as they were.
  TRecordBuffer record = TempBuffer();
  std::memcpy(record, FRecordCache.GetBuffer(position),
              static_cast<std::size_t>(FRecordBufferSize));
  const TDataSetState saved = SetTempState(dsCalcFields);
  try {
    CalculateFields(record);
    Variant result = FieldValues(ResultFields);
    RestoreState(saved);
    return result;
  } catch (...) {
    RestoreState(saved);
    throw;
  }
}

std::vector<TTessel::SearchKey> TTessel::SearchKeys(const std::string& KeyFields,
                                                    const Variant& KeyValues,
                                                    TLocateOptions Options) {
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
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
        key.Number = TimeStampToMSecs(DateTimeToTimeStamp(Value.AsDateTime()));
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

bool TTessel::SlotMatches(const SearchKey& Key, const char* Record) const {
  const char* slot = Record + Key.Offset;
  if (slot[0] == 0 || Key.Null) return slot[0] == 0 && Key.Null;
  const char* value = slot + 1;
  switch (Key.Kind) {
    case KeyKind::Text: {
      std::string_view stored = slots::Text(value, Key.Area);
      const std::string_view wanted = Key.Text;
      if (Key.Options & loPartialKey) stored = stored.substr(0, wanted.size());
      if (Key.Options & loCaseInsensitive) return slots::SameTextIgnoringCase(stored, wanted);
      return stored == wanted;
    }
    case KeyKind::Boolean:
      return (value[0] == 1 ? 1.0 : 0.0) == Key.Number;
    case KeyKind::DateTime:
      return slots::Read<double>(value) == Key.Number;
    case KeyKind::Real:
      return slots::Read<float>(value) == Key.Real;
    case KeyKind::Number:
      break;
  }
  switch (Key.Code) {
    case slots::kSQLINT1:
      return static_cast<std::uint8_t>(value[0]) == Key.Number;
    case slots::kSQLINT2:
      return slots::Read<std::int16_t>(value) == Key.Number;
    case slots::kSQLINT4:
      return slots::Read<std::int32_t>(value) == Key.Number;
    case slots::kSQLFLT8:
      return slots::Read<double>(value) == Key.Number;
    case slots::kSQLMONEY:
      return static_cast<double>(slots::MoneyUnits(value)) / 10000.0 == Key.Number;
    case slots::kSQLMONEY4:
      return slots::Read<std::int32_t>(value) / 10000.0 == Key.Number;
    default:
      break;
  }
  // Any other column: its value as field access yields it.
  if (Key.Field->DataType() == ftFloat || Key.Field->DataType() == ftCurrency) {
    double shown = 0;
    ReadFieldValue(Key.Field, slot, &shown);
    return shown == Key.Number;
  }
  if (Key.Field->DataType() == ftSmallint || Key.Field->DataType() == ftWord) {
    std::int16_t shown = 0;
    ReadFieldValue(Key.Field, slot, &shown);
    return shown == Key.Number;
  }
  std::int32_t shown = 0;
  ReadFieldValue(Key.Field, slot, &shown);
  return shown == Key.Number;
}

// The position of the first record, in cache order, whose every key matches;
// 0 when none does. Rows read from the server while searching join the cache
// (and FAllFetched is set at the end of the data); the connection stays with
// the query until it closes.
int TTessel::FindRecord(const std::vector<SearchKey>& Keys) {
  const TDataSetState saved = SetTempState(dsFilter);
  FFilterBuffer = TempBuffer();
  std::unique_ptr<char[]> scratch;
  try {
    int found = 0;
    for (int i = 1; found == 0; ++i) {
      if (i > RecordCountHeld()) {
        if (FAllFetched) break;
        if (NextServerRow() == NO_MORE_ROWS) {
          FAllFetched = true;
          break;
        }
        if (!scratch) {
          scratch = std::make_unique<char[]>(static_cast<std::size_t>(FRecordBufferSize));
        }
        if (!GetRecordData(scratch.get())) break;
      }
      const char* record = FRecordCache.GetBuffer(i);
      bool match = true;
      for (const SearchKey& key : Keys) {
        if (!SlotMatches(key, record)) {
          match = false;
          break;
        }
      }
      if (match) found = i;
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
