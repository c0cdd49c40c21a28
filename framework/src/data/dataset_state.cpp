// The dataset state machine: open and close, editing, and the error loop.
//
// Design notes (this file and dataset_buffers.cpp)
// ================================================
//
// The dataset keeps a window of record buffers over the descendant's cursor.
// The descendant owns the cursor (where GetRecord reads from) and the layout
// of each buffer; the dataset owns the buffers and decides which record is
// current. Data links see slices of the window.
//
// Invariants
//  1. While the cursor is open, buffers_ holds buffer_count_ + 1 buffers, all
//     from AllocRecordBuffer; when closed it is empty. buffers_[record_count_]
//     is the temporary buffer (TempBuffer) that GetRecord fills before a
//     record joins the window.
//  2. 0 <= record_count_ <= buffer_count_. Buffers 0 .. record_count_-1 hold
//     consecutive records in cursor order.
//  3. record_count_ > 0 implies 0 <= active_record_ < record_count_; an empty
//     window has active_record_ == 0, and IsEmpty() is active_record_ >= record_count_.
//  4. current_record_ names the buffer whose record the descendant's cursor
//     stands on, or -1 when unknown. Any code that moves the cursor without
//     filling a buffer calls CursorPosChanged(); UpdateCursorPos() puts the
//     cursor back on the active record before each cursor-relative operation.
//  5. While open, buffer_count_ == max(1, BufferCount of every attached link).
//  6. State changes notify (deUpdateState) only through SetState, which also
//     clears modified_. SetTempState/RestoreState switch silently and keep
//     controls disabled meanwhile.
//  7. In dsInsert the active buffer holds the new record; its bookmark flag is
//     bfInserted (bookmark data: the record it was inserted before), bfBOF
//     (inserted into an empty dataset) or bfEOF (appended). It reaches the
//     cursor only through InternalPost.
//  8. Each active link's window [FirstRecord, FirstRecord + BufferCount)
//     contains active_record_ and lies within the dataset's buffers.
//
// States
//
//                 Open                      Edit
//   dsInactive ---------> dsBrowse ---------------------> dsEdit
//       ^                  |  ^  ^ <--------------------+  |
//       |       Close      |  |  |   Post / Cancel         |
//       +------------------+  |  +-------------------------+
//       ^                     |   Post / Cancel / Delete
//       |                     |  <-----------------------+
//       |                     +---------------------> dsInsert
//       |                        Insert / Append         |
//       +---------------------- Close -------------------+
//
//   Temporary states, entered and left within one call: dsCalcFields
//   (GetCalcFields), dsOldValue / dsNewValue / dsCurValue
//   (GetStateFieldValue), and whatever a descendant enters with SetTempState
//   (dsFilter while searching, dsSetKey, dsInternalCalc).
//
// Who performs each transition
//   inactive -> browse   SetActive(true): OpenCursor -> DoInternalOpen
//                        (InternalOpen, UpdateBufferCount) -> SetState(dsBrowse)
//   any -> inactive      SetActive(false): SetState(dsInactive) -> CloseCursor
//   browse -> edit       Edit: CheckOperation(InternalEdit) -> SetState(dsEdit)
//   browse -> insert     Insert / Append -> EndInsertAppend: SetState(dsInsert)
//   edit|insert -> browse  Post: CheckOperation(InternalPost) -> SetState -> Resync
//                        Cancel: InternalCancel -> SetState -> Resync
//   browse -> browse     Delete: CheckOperation(InternalDelete) -> Resync
//
// Edit, Insert and Append go through CheckCanModify, which refuses a dataset
// that cannot be modified and one without fields or record buffers (opened on
// a statement that returned no result): invariant 7 needs a buffer to hold.
//
// Errors: InternalPost, InternalEdit and InternalDelete run inside
// CheckOperation, which offers an EDatabaseError to OnPostError / OnEditError
// / OnDeleteError: daFail raises it again, daAbort ends with the silent
// EAbort, daRetry runs the operation again. A failed Post leaves the dataset
// in dsEdit or dsInsert with the edit buffer untouched.

#include <algorithm>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/datasource.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

// A dataset opened on a statement that returned no result has no fields and
// no record buffers: there is nothing a new or edited record could hold.
constexpr const char* kNoFieldsToEdit = "Cannot insert or edit records: the dataset has no fields";

}  // namespace

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  Destroying();
  // A descendant closes in its own destructor: by now its record-level
  // operations are gone. What is left here needs none of them.
  while (!data_sources_.empty()) {
    TDataSource* source = data_sources_.back();
    data_sources_.pop_back();
    source->dataset_ = nullptr;
    source->DataEvent(deUpdateState, 0);
  }
  while (fields_.Count() > 0) {
    TField* field = fields_.list_.back();
    RemoveField(field);
    delete field;
  }
}

void TDataSet::Fire(const TDataSetNotifyEvent& event) {
  if (event) event(this);
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbconsts::SDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(dbconsts::SDataSetOpen);
}

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(dbconsts::SDataSetReadOnly);
  if (!IsCursorOpen() || FieldCount() == 0 || buffers_.empty()) DatabaseError(kNoFieldsToEdit);
}

// --- open and close -----------------------------------------------------------

void TDataSet::SetActive(bool value) {
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading)) {
    streamed_active_ = value;
    return;
  }
  if (Active() == value) return;
  if (value) {
    Fire(BeforeOpen);
    try {
      OpenCursor(false);
      SetState(dsBrowse);
    } catch (...) {
      // The original failure is what the caller must see; a link that fails
      // again while being told about the close must not replace it.
      try {
        SetState(dsInactive);
      } catch (...) {
        state_ = dsInactive;
      }
      CloseCursor();
      throw;
    }
    Fire(AfterOpen);
  } else {
    const bool destroying = ComponentState().Contains(csDestroying);
    if (!destroying) Fire(BeforeClose);
    SetState(dsInactive);
    CloseCursor();
    if (!destroying) Fire(AfterClose);
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamed_active_) SetActive(true);
}

void TDataSet::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

void TDataSet::OpenCursor(bool info_query) {
  if (info_query) {
    InternalInitFieldDefs();
  } else {
    DoInternalOpen();
  }
}

void TDataSet::DoInternalOpen() {
  default_fields_ = FieldCount() == 0;
  InternalOpen();
  // The definitions describe the open cursor; asking for them again must not
  // run the cursor's statement a second time.
  field_defs_.SetUpdated(true);
  UpdateBufferCount();
  bof_ = true;
}

void TDataSet::CloseCursor() {
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  calc_buffer_ = nullptr;
  InternalClose();
  buffer_count_ = 0;
  default_fields_ = false;
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  try {
    OpenCursor(true);
  } catch (...) {
    CloseCursor();
    throw;
  }
  CloseCursor();
}

// --- states -------------------------------------------------------------------

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState previous = state_;
  state_ = value;
  ++disable_count_;
  return previous;
}

void TDataSet::RestoreState(TDataSetState value) {
  state_ = value;
  --disable_count_;
}

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = deDataSetChange;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ != 0) return;
  if (disable_state_ != state_) DataEvent(deUpdateState, 0);
  if (disable_state_ != dsInactive && state_ != dsInactive) DataEvent(enable_event_, 0);
}

// --- editing ------------------------------------------------------------------

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = daFail;
      if (on_error) on_error(this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: go round again.
    }
  }
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (record_count_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit);
  CheckOperation(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  Fire(AfterEdit);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange, 0);
  Fire(AfterInsert);
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark before = GetBookmark();
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (record_count_ == 0) {
    SetBookmarkFlag(buffer, bfBOF);
  } else if (!before.empty()) {
    SetBookmarkData(buffer, before.data());
  }
  if (record_count_ < buffer_count_) ++record_count_;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = buffers_[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  record_count_ = 1;
  bof_ = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::SetFields(const std::vector<Variant>& values) {
  if (state_ != dsEdit && state_ != dsInsert) DatabaseError(dbconsts::SNotEditing);
  const std::size_t count = std::min(values.size(), fields_.List().size());
  for (std::size_t i = 0; i < count; ++i) {
    if (!values[i].IsEmpty()) fields_.List()[i]->SetAsVariant(values[i]);
  }
}

void TDataSet::InsertRecord(const std::vector<Variant>& values) {
  Insert();
  SetFields(values);
  Post();
}

void TDataSet::AppendRecord(const std::vector<Variant>& values) {
  Append();
  SetFields(values);
  Post();
}

void TDataSet::ClearFields() {
  if (state_ != dsEdit && state_ != dsInsert) DatabaseError(dbconsts::SNotEditing);
  DataEvent(deCheckBrowseMode, 0);
  InternalInitRecord(ActiveBuffer());
  for (TField* field : fields_.List()) field->FreeBuffers();
  GetCalcFields(ActiveBuffer());
  DataEvent(deRecordChange, 0);
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) {
    DatabaseError(dbconsts::SNotEditing);
  }
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforePost);
  CheckOperation(&TDataSet::InternalPost, OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  Fire(AfterPost);
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeCancel);
  const bool scroll_events = state_ == dsInsert;
  if (scroll_events) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  Fire(AfterCancel);
  if (scroll_events) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(dbconsts::SDataSetEmpty);
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeDelete);
  DoBeforeScroll();
  CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  Fire(AfterDelete);
  DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  if (state_ == dsEdit || state_ == dsInsert) {
    UpdateRecord();
    if (modified_) {
      Post();
    } else {
      Cancel();
    }
  } else if (state_ == dsSetKey) {
    Post();
  }
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  InternalRefresh();
  Resync(0);
}

void TDataSet::InternalPost() {
  CheckRequiredFields();
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields_.List()) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsNull()) {
      DatabaseError(Format(dbconsts::SFieldRequired, {field->DisplayName()}));
    }
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* field : fields_.List()) field->FreeBuffers();
}

// --- events -------------------------------------------------------------------

void TDataSet::DoOnNewRecord() {
  Fire(OnNewRecord);
}

void TDataSet::DoBeforeScroll() {
  Fire(BeforeScroll);
}

void TDataSet::DoAfterScroll() {
  Fire(AfterScroll);
}

void TDataSet::DoOnCalcFields() {
  Fire(OnCalcFields);
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  switch (event) {
    case deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field == nullptr) break;
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified_ = true;
      if (state_ != dsSetKey) {
        if (calc_fields_size_ != 0 && auto_calc_fields_ && field->FieldKind() == fkData) {
          GetCalcFields(ActiveBuffer());
        }
        field->Change();
      }
      break;
    }
    case dePropertyChange:
      field_defs_.SetUpdated(false);
      break;
    default:
      break;
  }
  if (disable_count_ == 0) {
    // A source may detach (or be destroyed) while told: walk a copy and
    // skip sources that are gone by the time their turn comes.
    const std::vector<TDataSource*> sources = data_sources_;
    for (TDataSource* source : sources) {
      if (std::find(data_sources_.begin(), data_sources_.end(), source) != data_sources_.end()) {
        source->DataEvent(event, info);
      }
    }
  } else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange) {
    enable_event_ = deLayoutChange;
  }
}

// --- data sources -------------------------------------------------------------

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
  source->dataset_ = this;
  UpdateBufferCount();
  source->DataEvent(deUpdateState, 0);
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  source->dataset_ = nullptr;
  std::erase(data_sources_, source);
  source->DataEvent(deUpdateState, 0);
  UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(TDataSource* data_source) const {
  // Bounded by the number of steps a chain of distinct datasets can take, so
  // a cycle built behind our back cannot hang the walk.
  for (int steps = 0; data_source != nullptr && steps < 4096; ++steps) {
    TDataSet* dataset = data_source->DataSet();
    if (dataset == nullptr) return false;
    if (dataset == this) return true;
    data_source = dataset->DataSource();
  }
  return false;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode /*mode*/) {
  DatabaseError(Format(dbconsts::SBlobNoStream, {field ? field->DisplayName() : std::string()}));
}

}  // namespace tessel
