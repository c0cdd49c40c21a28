// Posting and deleting records: the order of the steps (prepare the values,
// write to the server, then change the cache), the cache operations that
// follow a successful write, and the application's say on failed writes.
//
// Design notes
//  1. The server write always comes before any change of FRecordCache or
//     FLastRecordId, so a write that raises leaves the cache as it was; the
//     framework then keeps the dataset in dsEdit or dsInsert with the edit
//     buffer (the user's values) in place, ready for a corrected post.
//  2. During InternalPost and InternalDelete the framework has put the cursor
//     on the active record (CheckOperation calls UpdateCursorPos): in dsEdit
//     FCurrentIndex is the edited record, in dsInsert it is the record the new
//     one goes before (0 for an empty dataset, Count + 1 for an append).
//  3. No step copies the cache: an edit overwrites one cached block, an
//     insert or delete moves the cache's pointers only.

#include <cstring>
#include <string>

#include "framework/sysutils.h"
#include "posting/posting_texts.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

// The server's numbers for a row refused as a duplicate: a unique index
// (2601) and a primary key or unique constraint (2627).
bool IsDuplicateKey(int ErrorCode) {
  return ErrorCode == 2601 || ErrorCode == 2627;
}

}  // namespace

bool TTessel::GetCanModify() {
  return FUpdateObject != nullptr || FOptions.Contains(LocalEdit) || FUpdateParams != nullptr;
}

void TTessel::InternalPost() {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert) return;
  TRecordBuffer buffer = nullptr;
  GetActiveRecBuf(buffer);
  TrimStringFields();
  // Required fields are checked after blanks became nulls, so a required
  // field holding only blanks is refused too.
  TDataSet::InternalPost();
  const TUpdateKind kind = state == dsEdit ? ukModify : ukInsert;
  if (!FOptions.Contains(LocalEdit)) WriteRecord(kind);
  if (state == dsInsert) {
    InternalAddRecord(buffer, false);
  } else if (FCurrentIndex >= 1 && FCurrentIndex <= RecordCountHeld()) {
    FRecordCache.SetBuffer(FCurrentIndex, buffer);
  }
}

// Writable string fields lose leading and trailing blanks and control
// characters; with ConvertBlankToNull an empty string field, read-only or
// not, becomes null. Memo, blob and other fields are left alone.
void TTessel::TrimStringFields() {
  for (TField* field : Fields()->List()) {
    if (field->DataType() != ftString || field->ReadOnly()) continue;
    const std::string value = field->AsString();
    const std::string trimmed = Trim(value);
    if (trimmed != value) field->SetAsString(trimmed);
  }
  if (!FOptions.Contains(ConvertBlankToNull)) return;
  for (TField* field : Fields()->List()) {
    if (field->DataType() != ftString || !Trim(field->AsString()).empty()) continue;
    if (!field->ReadOnly()) {
      field->Clear();
      continue;
    }
    // A read-only field refuses the framework's setter; its slot is cleared
    // directly, as the conversion applies to it as well.
    TRecordBuffer buffer = nullptr;
    if (field->FieldNo() >= 1 && GetActiveRecBuf(buffer)) {
      buffer[FFieldOffsets[static_cast<std::size_t>(field->FieldNo() - 1)]] = 0;
    }
  }
}

// The write of a post: through the update object or generated statements. A
// duplicate key may be waved through by OnDuplicateKey (daAbort): the post
// then completes as if the server had taken the record.
void TTessel::WriteRecord(TUpdateKind UpdateKind) {
  try {
    if (FUpdateObject != nullptr) {
      FUpdateObject->Apply(UpdateKind);
    } else if (FUpdateParams != nullptr) {
      InternalUpdate(UpdateKind);
    } else {
      // The settings were taken away while the record was being edited.
      DatabaseError(Format(detail::SNoUpdateSettings.str(), {Name()}));
    }
  } catch (ElqSQLError& error) {
    if (!IsDuplicateKey(error.ErrorCode()) || !OnDuplicateKey) throw;
    TDataAction action = daFail;
    OnDuplicateKey(this, error, action);
    if (action != daAbort) throw;
  }
}

void TTessel::NoRowsAffected(const std::string& TableName) {
  const std::string text =
      TableName.empty() ? SUpdateFailed.str()
                        : Format(detail::SUpdateFailedIn.str(), {SUpdateFailed.str(), TableName});
  if (OnUpdateError) {
    EDatabaseError offered(text);
    TDataAction action = daFail;
    OnUpdateError(this, offered, action);
    if (action == daAbort) Abort();
  }
  DatabaseError(text);
}

void TTessel::FollowBaseConnection() {
  if (FDBProcess == nullptr || FDataBaseName == nullptr) return;
  if (FDBProcess == FDataBaseName->GetBaseProcess()) return;
  if (FPrepared) Unprepare();
  // Closed only when no other query still works on it.
  FDataBaseName->CloseConnection(FDBProcess);
}

void TTessel::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  ++FLastRecordId;
  std::memcpy(Buffer + FBookmarkOffset, &FLastRecordId, sizeof FLastRecordId);
  Buffer[FBookmarkOffset + 5] = static_cast<char>(bfCurrent);
  if (Append) {
    InternalLast();
    FCurrentIndex = FRecordCache.AppendBuffer(Buffer);
  } else if (FCurrentIndex >= 1) {
    // Past the end (an append) the record simply joins at the end.
    if (FCurrentIndex > RecordCountHeld() + 1) FCurrentIndex = RecordCountHeld() + 1;
    FRecordCache.InsertBuffer(FCurrentIndex, Buffer);
  } else {
    FCurrentIndex = FRecordCache.AppendBuffer(Buffer);
  }
}

void TTessel::InternalDelete() {
  if (FUpdateObject != nullptr) {
    FUpdateObject->Apply(ukDelete);
  } else if (FUpdateParams != nullptr) {
    InternalUpdate(ukDelete);
  }
  FRecordCache.DeleteBuffer(FCurrentIndex);
  if (FCurrentIndex > RecordCountHeld()) --FCurrentIndex;
}

void TTessel::DoOnNewRecord() {
  TDataSet::DoOnNewRecord();
  for (TField* field : Fields()->List()) {
    if (!field->DefaultExpression().empty()) field->SetAsString(field->DefaultExpression());
  }
}

}  // namespace tessel
