// Field values between the framework's native forms and the record buffer's
// slots, where most columns keep DB-Library's own bytes; the blob content
// slots; and the required-field check.

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data_consts.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr int kSQLINT1 = 48;
constexpr int kSQLINT2 = 52;
constexpr int kSQLFLT8 = 62;
constexpr int kSQLDECIMAL = 106;
constexpr int kSQLNUMERIC = 108;

bool IsBlobType(TFieldType type) {
  return type == ftBlob || type == ftMemo;
}

bool IsFloatType(TFieldType type) {
  return type == ftFloat || type == ftCurrency;
}

}  // namespace

bool TTessel::GetFieldData(const TField* Field, void* Buffer) {
  TRecordBuffer record = nullptr;
  if (!GetActiveRecBuf(record)) return false;
  if (Field->FieldNo() < 1) {
    const TDataSetState state = State();
    if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields) {
      return false;
    }
    const char* place = record + FRecordSize + Field->Offset();
    const bool present = place[0] != 0;
    if (present && Buffer != nullptr) {
      std::memcpy(Buffer, place + 1, static_cast<std::size_t>(Field->DataSize()));
    }
    return present;
  }
  if (static_cast<std::size_t>(Field->FieldNo()) > FFieldOffsets.size()) return false;
  const char* slot = record + FFieldOffsets[static_cast<std::size_t>(Field->FieldNo() - 1)];
  if (slot[0] == 0) return false;
  if (Buffer != nullptr) ReadFieldValue(Field, slot, Buffer);
  return true;
}

void TTessel::ReadFieldValue(const TField* Field, const char* Slot, void* Dest) const {
  const int column = Field->FieldNo();
  const int size = FColumnSizes[static_cast<std::size_t>(column - 1)];
  const int type = FColumnTypes[static_cast<std::size_t>(column)];
  const char* value = Slot + 1;
  const auto* bytes = reinterpret_cast<const DBBYTE*>(value);
  switch (Field->DataType()) {
    case ftBlob:
    case ftMemo:
      std::memcpy(Dest, value, sizeof(BlobDescriptor));
      return;
    case ftString: {
      const std::size_t length = strnlen(value, static_cast<std::size_t>(size));
      std::memcpy(Dest, value, length);
      static_cast<char*>(Dest)[length] = '\0';
      return;
    }
    case ftSmallint:
      dbconvert(nullptr, type, bytes, size, kSQLINT2, static_cast<DBBYTE*>(Dest), 2);
      return;
    case ftBoolean: {
      const std::int16_t flag = value[0] == 1 ? 1 : 0;
      std::memcpy(Dest, &flag, sizeof flag);
      return;
    }
    case ftFloat:
    case ftCurrency:
      if (type == kSQLFLT8) {
        std::memcpy(Dest, value, 8);
      } else {
        dbconvert(nullptr, type, bytes, size, kSQLFLT8, static_cast<DBBYTE*>(Dest), 8);
      }
      return;
    default: {
      const int wanted = Field->DataSize();
      const int length = std::min(wanted, size + 1);
      std::memcpy(Dest, value, static_cast<std::size_t>(std::max(length, 0)));
      if (wanted > length) {
        std::memset(static_cast<char*>(Dest) + length, 0,
                    static_cast<std::size_t>(wanted - length));
      }
      return;
    }
  }
}

void TTessel::SetFieldData(TField* Field, const void* Buffer) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields &&
      state != dsFilter && state != dsNewValue && state != dsInternalCalc) {
    RaiseDatabaseError(SNotEdit);
  }
  TRecordBuffer record = nullptr;
  if (!GetActiveRecBuf(record)) return;
  if (Field->FieldNo() < 1) {
    char* place = record + FRecordSize + Field->Offset();
    place[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr) {
      std::memcpy(place + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
    }
  } else {
    if (state == dsCalcFields) RaiseDatabaseError(SNotEdit);
    if (Field->ReadOnly() && state != dsSetKey && state != dsFilter) {
      RaiseDatabaseError(Format(SFieldReadOnly.str(), {Field->DisplayName()}));
    }
    if (static_cast<std::size_t>(Field->FieldNo()) > FFieldOffsets.size()) return;
    Field->Validate(Buffer);
    if (Buffer != nullptr) CheckTinyintRange(Field, Buffer);
    char* slot = record + FFieldOffsets[static_cast<std::size_t>(Field->FieldNo() - 1)];
    slot[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr) WriteFieldValue(Field, slot, Buffer);
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
  }
}

// A tinyint column keeps one byte: a small integer outside 0..255 would be
// stored cut to its low byte, so it is refused before anything is written.
void TTessel::CheckTinyintRange(const TField* Field, const void* Source) const {
  if (Field->DataType() != ftSmallint) return;
  if (FColumnTypes[static_cast<std::size_t>(Field->FieldNo())] != kSQLINT1) return;
  std::int16_t value = 0;
  std::memcpy(&value, Source, sizeof value);
  if (value >= 0 && value <= 255) return;
  DatabaseError(Format(dbconsts::SFieldRangeError,
                       {std::to_string(value), Field->DisplayName(), "0", "255"}));
}

void TTessel::WriteFieldValue(TField* Field, char* Slot, const void* Source) {
  const int column = Field->FieldNo();
  const int size = FColumnSizes[static_cast<std::size_t>(column - 1)];
  const int type = FColumnTypes[static_cast<std::size_t>(column)];
  char* value = Slot + 1;
  if (IsBlobType(Field->DataType())) {
    WriteBlobValue(Field, Slot, Source);
    return;
  }
  if (IsFloatType(Field->DataType())) {
    if (type == kSQLFLT8) {
      std::memcpy(value, Source, 8);
      return;
    }
    if (type == kSQLDECIMAL || type == kSQLNUMERIC) {
      // A new record's slot has no shape yet: give it the column's.
      value[0] = static_cast<char>(FColumnShapes[static_cast<std::size_t>(column - 1)].first);
      value[1] = static_cast<char>(FColumnShapes[static_cast<std::size_t>(column - 1)].second);
    }
    dbconvert(nullptr, kSQLFLT8, static_cast<const DBBYTE*>(Source), 8, type,
              reinterpret_cast<DBBYTE*>(value), size);
    return;
  }
  if (Field->DataType() == ftString) {
    const std::size_t length =
        strnlen(static_cast<const char*>(Source), static_cast<std::size_t>(size));
    std::memcpy(value, Source, length);
    value[length] = '\0';
    return;
  }
  const int length = std::min(Field->DataSize(), size + 1);
  std::memcpy(value, Source, static_cast<std::size_t>(std::max(length, 0)));
}

// The content arrives as a std::string. Content still on the server is only
// measured; otherwise it goes to the blob list, in a new entry or the one the
// descriptor already names.
void TTessel::WriteBlobValue(TField* Field, char* Slot, const void* Source) {
  // The entry of the edited record as the cache holds it (a value read with
  // the row, or posted before) is never overwritten: a cancelled edit must
  // find that content unchanged. Later writes of the same edit replace the
  // entry the first one made.
  const auto CachedBlobIndex = [&](const TField* field) {
    if (FCurrentIndex < 1 || FCurrentIndex > FRecordCache.Count()) return 0;
    BlobDescriptor cached;
    std::memcpy(&cached,
                FRecordCache.GetBuffer(FCurrentIndex) +
                    FFieldOffsets[static_cast<std::size_t>(field->FieldNo() - 1)] + 1,
                sizeof cached);
    return static_cast<int>(cached.BlobIndex);
  };
  const auto& content = *static_cast<const std::string*>(Source);
  BlobDescriptor descriptor;
  std::memcpy(&descriptor, Slot + 1, sizeof descriptor);
  if (descriptor.BlobIndex == -1) {
    descriptor.DataLength = static_cast<std::int32_t>(content.size());
  } else if (descriptor.BlobIndex > 0 && descriptor.BlobIndex < FBlobList->Count() &&
             !(State() == dsEdit && CachedBlobIndex(Field) == descriptor.BlobIndex)) {
    FBlobList->Put(descriptor.BlobIndex, content);
    descriptor.DataLength = static_cast<std::int32_t>(content.size());
  } else {
    descriptor.BlobIndex = FBlobList->Add(content);
    descriptor.DataLength = static_cast<std::int32_t>(content.size());
  }
  std::memcpy(Slot + 1, &descriptor, sizeof descriptor);
}

void TTessel::VerifyField(TField* Field, const void* Data) {
  if (Field->Required() && Data == nullptr) {
    RaiseDatabaseError(Format(SFieldRequired.str(), {Field->DisplayName()}));
  }
}

std::string TTessel::GetBlobData(const TField* Field, TRecordBuffer Buffer) const {
  std::uint32_t handle = 0;
  std::memcpy(&handle, BlobSlot(Field, Buffer), sizeof handle);
  if (handle == 0 || handle > FBlobContents.size()) return {};
  return FBlobContents[handle - 1];
}

void TTessel::SetBlobData(const TField* Field, TRecordBuffer Buffer, const std::string& Value) {
  if (Buffer != ActiveBuffer()) return;
  // Empty content needs no entry: handle 0 reads as the empty string.
  std::uint32_t handle = 0;
  if (!Value.empty()) {
    FBlobContents.push_back(Value);
    handle = static_cast<std::uint32_t>(FBlobContents.size());
  }
  std::memcpy(BlobSlot(Field, Buffer), &handle, sizeof handle);
}

}  // namespace tessel
