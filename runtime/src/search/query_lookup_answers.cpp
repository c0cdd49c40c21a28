// Lookup by one number key for one short result field through a table of
// answers (lookup_answers.h): the key's entry holds a copy of the result
// slot, so a repeated Lookup reads neither the record nor the cache's list.
//
// The table's keys are the numbers the search compares (the bytes a key
// index hashes, query_locate_index.cpp), so two records share an entry
// exactly when every search key that matches one matches the other, and a
// search key finds the entry of the first record it matches.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "search/locate_index.h"
#include "search/lookup_answers.h"
#include "search/query_search_key.h"

namespace tessel {
namespace {

// Integer columns of at most 32 bits hold every value in 32 bits: their
// table keeps keys of 4 bytes, and entries of 16 for results of 8.
template <typename SearchKey>
bool NarrowKey(const SearchKey& Key) {
  return Key.Kind == KeyKind::Number &&
         (Key.Code == slots::kSQLINT1 || Key.Code == slots::kSQLINT2 ||
          Key.Code == slots::kSQLINT4);
}

// The table's key for a number compared as the double whose bits are Bits
// (-0 given as 0), or as a 64-bit integer (Integer): false for a value that
// matches nothing, NaN, or a number no narrow column holds.
bool TableKey(std::uint64_t Bits, bool Integer, bool Narrow, std::uint64_t& Key) {
  if (Integer) {
    Key = Bits;
    return true;
  }
  const double value = std::bit_cast<double>(Bits);
  if (std::isnan(value)) return false;
  if (!Narrow) {
    Key = Bits;
    return true;
  }
  if (!(value >= -2147483648.0 && value <= 2147483647.0) || value != std::trunc(value)) {
    return false;
  }
  Key = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
  return true;
}

}  // namespace

bool TTessel::AnsweredLookup(const SearchKey& Key, const TField* Result, Variant& Answer) {
  // Calculated fields, and handlers that could change anything, need the
  // record itself; so do blobs, whose slot holds a descriptor.
  if (Key.Null || Key.Never || Key.Kind == KeyKind::Text || Result->FieldNo() < 1 ||
      Result->IsBlob() || CalcFieldsSize() != 0 || OnCalcFields) {
    return false;
  }
  const auto column = static_cast<std::size_t>(Result->FieldNo() - 1);
  if (column >= FFieldOffsets.size()) return false;
  const int offset = FFieldOffsets[column];
  const int slotBytes = FColumnSizes[column] + 2;
  if (slotBytes > LookupAnswers::kMaxSlotBytes) return false;
  const bool narrow = NarrowKey(Key);
  const int keyBytes = narrow ? 4 : 8;
  const bool integer = Key.Kind == KeyKind::Largeint;

  if (!FLocateIndexes) FLocateIndexes = std::make_unique<LocateIndexes>();
  const int count = RecordCountHeld();
  LookupAnswers* answers = FLocateIndexes->UseAnswers(
      Key.Field->FieldNo(), Result->FieldNo(), count, FRecordCache.Changes(), keyBytes, slotBytes);
  if (answers == nullptr || answers->KeyBytes() != keyBytes || answers->SlotBytes() != slotBytes) {
    return false;
  }
  // Rows read since the table was last used (or all of them, when new or
  // grown).
  if (answers->Covered() < count) {
    answers->Room(count);
    const std::vector<void*>& items = FRecordCache.List();
    std::string bytes;
    for (int p = answers->Covered() + 1; p <= count; ++p) {
      const char* record = static_cast<const char*>(items[static_cast<std::size_t>(p - 1)]);
      bytes.clear();
      AppendRecordKey(Key, record, bytes);
      std::uint64_t bits = 0;
      std::uint64_t key = 0;
      // A flag byte and 8 bytes of number; a null is the flag alone.
      if (bytes.size() == 1 + sizeof bits) std::memcpy(&bits, bytes.data() + 1, sizeof bits);
      if (bytes.size() == 1 + sizeof bits && TableKey(bits, integer, narrow, key)) {
        answers->Add(key, p, record + offset);
      } else {
        answers->Skip(p);
      }
    }
  }

  std::uint64_t bits = 0;
  if (integer) {
    bits = static_cast<std::uint64_t>(Key.Integer);
  } else {
    const double number = Key.Kind == KeyKind::Real ? double{Key.Real} : Key.Number;
    bits = std::bit_cast<std::uint64_t>(number == 0 ? 0.0 : number);
  }
  std::uint64_t wanted = 0;
  const char* slot = TableKey(bits, integer, narrow, wanted) ? answers->Find(wanted) : nullptr;
  if (slot == nullptr) {
    // Rows still on the server may hold the key: the search reads them.
    if (!FAllFetched) return false;
    Answer = Null();
    return true;
  }
  // The field reads its value from a copy of the slot, at the place the
  // slot has in a record.
  const TRecordBuffer record = TempBuffer();
  std::memcpy(record + offset, slot, static_cast<std::size_t>(slotBytes));
  const TDataSetState saved = SetTempState(dsFilter);
  FFilterBuffer = record;
  try {
    Answer = Result->AsVariant();
  } catch (...) {
    FFilterBuffer = nullptr;
    RestoreState(saved);
    throw;
  }
  FFilterBuffer = nullptr;
  RestoreState(saved);
  return true;
}

}  // namespace tessel
