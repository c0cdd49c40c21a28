// Field values between the framework's native forms and the record buffer's
// slots (the moves themselves are the server type table's, values/); the
// blob content slots; and the required-field check.

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data_consts.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "values/server_types.h"
#include "values/text_encoding.h"

namespace tessel {
namespace {

bool IsBlobType(TFieldType type) {
  return type == ftBlob || type == ftMemo;
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

values::ColumnShape TTessel::ShapeOf(int FieldNo) const {
  const auto column = static_cast<std::size_t>(FieldNo - 1);
  values::ColumnShape shape;
  shape.Type = FColumnTypes[static_cast<std::size_t>(FieldNo)];
  shape.Size = FColumnSizes[column];
  shape.Precision = FColumnShapes[column].first;
  shape.Scale = FColumnShapes[column].second;
  // The client library does not tell a Unicode column from a code-page one:
  // assignment checks only that text is UTF-8, and posting checks the update
  // table's code-page columns (CheckCodePageText).
  shape.CodePage = values::kUnicode;
  return shape;
}

void TTessel::ReadFieldValue(const TField* Field, const char* Slot, void* Dest) const {
  values::SlotToNative(ShapeOf(Field->FieldNo()), Field->DataType(), Slot + 1, Dest);
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
    char* slot = record + FFieldOffsets[static_cast<std::size_t>(Field->FieldNo() - 1)];
    // Written first, so that a value refused leaves the slot (flag included)
    // as it was.
    if (Buffer != nullptr) WriteFieldValue(Field, slot, Buffer);
    slot[0] = Buffer != nullptr ? 1 : 0;
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
  }
}

// The value is checked against the column before anything is written: a
// value the column cannot hold is refused here, naming the field, and never
// reaches the server changed.
void TTessel::WriteFieldValue(TField* Field, char* Slot, const void* Source) {
  if (IsBlobType(Field->DataType())) {
    WriteBlobValue(Field, Slot, Source);
    return;
  }
  values::NativeToSlot(ShapeOf(Field->FieldNo()), *Field, Source, Slot + 1);
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
  if (Field->DataType() == ftMemo) values::CheckText(ShapeOf(Field->FieldNo()), *Field, content);
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
