// TBlobStream: loading a text or image field's content when the stream is
// made, and storing what was written when it goes.

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "framework/data_consts.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/blob_stream.h"
#include "runtime/lqSQLConst.h"

namespace tessel {

std::function<void(const std::exception&)> TBlobStream::OnStoreError;

namespace {

void ReportStoreError(const std::exception& error) {
  if (TBlobStream::OnStoreError) {
    TBlobStream::OnStoreError(error);
  } else {
    std::cerr << "Blob content not stored: " << error.what() << '\n';
  }
}

}  // namespace

std::unique_ptr<TStream> TTessel::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob == nullptr) throw EConvertError("Invalid class typecast");
  return std::make_unique<TBlobStream>(blob, Mode);
}

TBlobStream::TBlobStream(TBlobField* Field, TBlobStreamMode Mode)
    : FField(Field),
      FDataSet(dynamic_cast<TTessel*>(Field->DataSet())),
      FMode(Mode),
      FFieldNo(Field->FieldNo()) {
  if (FDataSet == nullptr) throw EConvertError("Invalid class typecast");
  if (!FDataSet->Active()) DatabaseError(dbconsts::SDataSetClosed);
  if (FMode != bmRead) CheckWritable();
  if (!FDataSet->GetActiveRecBuf(FBuffer)) {
    FBuffer = nullptr;
    return;
  }
  LoadContent();
}

// A stream that is to be written must be able to store what it gets: the
// dataset edits a record and the field may be changed.
void TBlobStream::CheckWritable() const {
  const TDataSetState state = FDataSet->State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsFilter &&
      state != dsNewValue && state != dsInternalCalc) {
    RaiseDatabaseError(SNotEdit);
  }
  if (FField->ReadOnly() && state != dsSetKey && state != dsFilter) {
    RaiseDatabaseError(Format(SFieldReadOnly.str(), {FField->DisplayName()}));
  }
  TRecordBuffer buffer = nullptr;
  if (!FDataSet->GetActiveRecBuf(buffer)) RaiseDatabaseError(SNotEdit);
}

void TBlobStream::LoadContent() {
  // A write stream starts empty, also on a field written before, so that no
  // tail of earlier content survives a shorter write.
  if (FMode != bmWrite) {
    // The field's modified mark speaks of the record being edited; the
    // record as it was before (dsOldValue) is read as stored.
    if (FField->Modified() && FBuffer == FDataSet->ActiveBuffer()) {
      AppendLoaded(FDataSet->BlobContent(FField, FBuffer));
    } else if (const std::string& slot = FDataSet->BlobContent(FField, FBuffer); !slot.empty()) {
      if (FDataSet->GetFieldData(FField, nullptr)) AppendLoaded(slot);
    } else {
      BlobDescriptor descriptor{};
      if (!FDataSet->GetFieldData(FField, &descriptor)) {
        // Null: a read stream stays empty and unopened; a read-write stream
        // opens empty so that what is written to it is stored.
        if (FMode == bmRead) return;
      } else if (descriptor.BlobIndex != -1) {
        const TStringList& list = *FDataSet->BlobList();
        if (descriptor.BlobIndex >= 0 && descriptor.BlobIndex < list.Count()) {
          AppendLoaded(list.Strings(descriptor.BlobIndex));
        }
      } else if (const std::string* read = FDataSet->ReadBlobOfRecord(FField, FBuffer)) {
        AppendLoaded(*read);
      } else if (descriptor.DataLength > 0) {
        // Empty content needs no exchange (READTEXT reads a default size for 0).
        ReadFromServer(descriptor);
      }
    }
  }
  TMemoryStream::Seek(0, soFromBeginning);
  FOpened = true;
  if (FMode == bmWrite) Truncate();
}

void TBlobStream::AppendLoaded(const std::string& Content) {
  TMemoryStream::Write(Content.data(), static_cast<std::int64_t>(Content.size()));
}

std::int64_t TBlobStream::Write(const void* Buffer, std::int64_t Count) {
  if (FMode == bmRead) {
    throw EStreamError(Format(SBlobStreamReadOnly.str(), {FField->DisplayName()}));
  }
  FModified = true;
  return TMemoryStream::Write(Buffer, Count);
}

void TBlobStream::SetSize(std::int64_t Size) {
  if (FMode == bmRead) {
    throw EStreamError(Format(SBlobStreamReadOnly.str(), {FField->DisplayName()}));
  }
  FModified = true;
  TMemoryStream::SetSize(Size);
}

void TBlobStream::Truncate() {
  if (!FOpened) return;
  TRecordBuffer buffer = nullptr;
  if (!FDataSet->GetActiveRecBuf(buffer)) return;
  // Emptied content is stored like written content, so a read stream can
  // only be truncated where the field may be changed.
  if (FMode == bmRead) CheckWritable();
  FBuffer = buffer;
  FModified = true;
  FDataSet->SetBlobData(FField, FBuffer, std::string());
}

TBlobStream::~TBlobStream() {
  if (!FModified) return;
  try {
    Store();
  } catch (const std::exception& error) {
    ReportStoreError(error);
  }
}

// Puts the stream's content into the record: the blob content slot, then
// SetFieldData (the descriptor's length or the blob list). A refusal there
// puts the slot and the field's modified mark back as they were, so that the
// record never shows content it does not hold.
void TBlobStream::Store() {
  TRecordBuffer buffer = nullptr;
  if (!FDataSet->Active()) DatabaseError(dbconsts::SDataSetClosed);
  if (!FDataSet->GetActiveRecBuf(buffer)) RaiseDatabaseError(SNotEdit);
  FBlobData.assign(reinterpret_cast<const char*>(Memory()), static_cast<std::size_t>(Size()));
  const bool was_modified = FField->Modified();
  const bool in_slot = buffer == FDataSet->ActiveBuffer();
  std::uint32_t old_handle = 0;
  if (in_slot) std::memcpy(&old_handle, FDataSet->BlobSlot(FField, buffer), sizeof old_handle);
  // The field's slot (flag and descriptor) and the blob list entry it names,
  // as they were: a refusal puts back all of them, or the next post would
  // write a length or content that was never accepted.
  char* field_slot = buffer + FDataSet->FFieldOffsets[static_cast<std::size_t>(FFieldNo - 1)];
  char old_slot[1 + sizeof(BlobDescriptor)];
  std::memcpy(old_slot, field_slot, sizeof old_slot);
  BlobDescriptor old_descriptor;
  std::memcpy(&old_descriptor, old_slot + 1, sizeof old_descriptor);
  TStringList& list = *FDataSet->BlobList();
  const bool listed = old_descriptor.BlobIndex > 0 && old_descriptor.BlobIndex < list.Count();
  const std::string old_entry = listed ? list.Strings(old_descriptor.BlobIndex) : std::string();
  if (FOpened) FField->SetModified(true);
  FDataSet->SetBlobData(FField, buffer, FBlobData);
  try {
    FDataSet->SetFieldData(FField, &FBlobData);
  } catch (...) {
    if (in_slot) std::memcpy(FDataSet->BlobSlot(FField, buffer), &old_handle, sizeof old_handle);
    std::memcpy(field_slot, old_slot, sizeof old_slot);
    if (listed && old_descriptor.BlobIndex < list.Count()) {
      list.Put(old_descriptor.BlobIndex, old_entry);
    }
    FField->SetModified(was_modified);
    throw;
  }
  FBlobData.clear();
  FBlobData.shrink_to_fit();
  try {
    FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
  } catch (const std::exception& error) {
    ReportStoreError(error);
  }
}

}  // namespace tessel
