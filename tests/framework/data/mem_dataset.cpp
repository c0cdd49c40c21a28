#include "mem_dataset.h"

#include <cstring>

#include "framework/data_consts.h"
#include "framework/streams.h"
#include "framework/sysutils.h"

namespace tessel::test {

namespace {

// A memory stream over one blob slot: loads the content unless opened for
// writing only, and stores what it holds when it goes unless read-only.
class MemBlobStream : public TMemoryStream {
 public:
  MemBlobStream(TMemDataSet& dataset, TBlobField* field, TBlobStreamMode mode)
      : dataset_(dataset), field_(field), mode_(mode) {
    if (mode != bmRead && dataset.State() != dsEdit && dataset.State() != dsInsert) {
      DatabaseError(dbconsts::SNotEditing);
    }
    std::optional<std::string>* slot = dataset.BlobSlot(field);
    if (mode != bmWrite && slot != nullptr && slot->has_value()) {
      WriteBuffer((*slot)->data(), static_cast<std::int64_t>((*slot)->size()));
      SetPosition(0);
    }
  }
  ~MemBlobStream() override {
    if (mode_ == bmRead) return;
    std::string content(reinterpret_cast<const char*>(Memory()), static_cast<std::size_t>(Size()));
    try {
      dataset_.SetFieldData(field_, &content);
      field_->SetModified(true);
    } catch (...) {
      // The constructor checked the state; nothing else can fail here.
    }
  }

 private:
  TMemDataSet& dataset_;
  TBlobField* field_;
  TBlobStreamMode mode_;
};

}  // namespace

TMemDataSet::TMemDataSet(TComponent* owner, std::vector<Column> cols)
    : TDataSet(owner), columns(std::move(cols)) {}

TMemDataSet::~TMemDataSet() {
  Destroying();
  Close();
}

void TMemDataSet::AddRow(const std::vector<std::string>& values) {
  Append();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i].empty()) Fields()->List()[i]->SetAsString(values[i]);
  }
  Post();
}

std::int32_t TMemDataSet::IdOf(TRecordBuffer buffer) const {
  std::int32_t id = 0;
  std::memcpy(&id, buffer + bookmark_offset_, sizeof id);
  return id;
}

void TMemDataSet::SetId(TRecordBuffer buffer, std::int32_t id) const {
  std::memcpy(buffer + bookmark_offset_, &id, sizeof id);
}

char& TMemDataSet::FlagOf(TRecordBuffer buffer) const {
  return buffer[bookmark_offset_ + 4];
}

std::vector<int> TMemDataSet::RowIds() const {
  std::vector<int> ids;
  for (const Row& row : rows_) ids.push_back(row.id);
  return ids;
}

int TMemDataSet::BufferId(int index) const {
  return IdOf(Buffer(index));
}

// --- open and close -------------------------------------------------------------

void TMemDataSet::InternalInitFieldDefs() {
  FieldDefs()->Clear();
  for (const Column& c : columns) {
    FieldDefs()->Add(c.name, c.type, c.size, c.required)->SetPrecision(c.precision);
  }
}

void TMemDataSet::InternalOpen() {
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  offsets_.assign(columns.size(), -1);
  record_size_ = 0;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TField* field = FieldByNumber(static_cast<int>(i) + 1);
    if (field == nullptr || field->IsBlob()) continue;
    offsets_[i] = record_size_;
    record_size_ += 1 + field->DataSize();
  }
  bookmark_offset_ = record_size_ + CalcFieldsSize();
  buffer_size_ = bookmark_offset_ + 5;
  SetBookmarkSize(4);
  cursor_ = -1;
  open_ = true;
}

void TMemDataSet::InternalClose() {
  open_ = false;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  cursor_ = -1;
}

// --- buffers --------------------------------------------------------------------

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
  auto* buffer = new char[static_cast<std::size_t>(buffer_size_)]();
  buffer_blobs_[buffer].assign(columns.size(), std::nullopt);
  return buffer;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  buffer_blobs_.erase(buffer);
  delete[] buffer;
  buffer = nullptr;
}

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<std::size_t>(record_size_));
  buffer_blobs_[buffer].assign(columns.size(), std::nullopt);
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + record_size_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TMemDataSet::CopyRowToBuffer(const Row& row, TRecordBuffer buffer) {
  std::memcpy(buffer, row.data.data(), row.data.size());
  buffer_blobs_[buffer] = row.blobs;
  SetId(buffer, row.id);
  FlagOf(buffer) = bfCurrent;
}

TMemDataSet::Row TMemDataSet::RowFromBuffer(TRecordBuffer buffer) {
  Row row;
  row.data.assign(buffer, buffer + record_size_);
  row.blobs = buffer_blobs_[buffer];
  row.id = IdOf(buffer);
  return row;
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) {
  TGetResult result = grOK;
  switch (mode) {
    case gmCurrent:
      if (cursor_ < 0 || cursor_ >= RowCount()) result = grError;
      break;
    case gmNext:
      if (cursor_ < RowCount()) ++cursor_;
      if (cursor_ >= RowCount()) result = grEOF;
      break;
    case gmPrior:
      if (cursor_ >= 0) --cursor_;
      if (cursor_ < 0) result = grBOF;
      break;
  }
  if (result == grOK) {
    CopyRowToBuffer(rows_[static_cast<std::size_t>(cursor_)], buffer);
    GetCalcFields(buffer);
  } else if (result == grError && do_check) {
    DatabaseError("No current record");
  }
  return result;
}

// --- bookmarks ------------------------------------------------------------------

int TMemDataSet::FindRow(std::int32_t id) const {
  for (int i = 0; i < RowCount(); ++i) {
    if (rows_[static_cast<std::size_t>(i)].id == id) return i;
  }
  return -1;
}

void TMemDataSet::InternalGotoBookmark(const char* bookmark) {
  std::int32_t id = 0;
  std::memcpy(&id, bookmark, sizeof id);
  const int row = FindRow(id);
  if (row < 0) DatabaseError(Format("Bookmark %d not found", {id}));
  cursor_ = row;
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  InternalGotoBookmark(buffer + bookmark_offset_);
}

void TMemDataSet::GetBookmarkData(TRecordBuffer buffer, char* data) {
  std::memcpy(data, buffer + bookmark_offset_, 4);
}

void TMemDataSet::SetBookmarkData(TRecordBuffer buffer, const char* data) {
  std::memcpy(buffer + bookmark_offset_, data, 4);
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(FlagOf(buffer));
}

void TMemDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
  FlagOf(buffer) = static_cast<char>(value);
}

bool TMemDataSet::BookmarkValid(const char* bookmark) {
  if (bookmark == nullptr) return false;
  std::int32_t id = 0;
  std::memcpy(&id, bookmark, sizeof id);
  return FindRow(id) >= 0;
}

int TMemDataSet::CompareBookmarks(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return (a == nullptr) == (b == nullptr) ? 0 : 1;
  std::int32_t x = 0, y = 0;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  const int rx = FindRow(x), ry = FindRow(y);
  return rx < ry ? -1 : (rx > ry ? 1 : 0);
}

int TMemDataSet::GetRecNo() {
  UpdateCursorPos();
  return (State() == dsInsert || cursor_ < 0 || cursor_ >= RowCount()) ? -1 : cursor_ + 1;
}

void TMemDataSet::SetRecNo(int value) {
  if (value < 1 || value > RowCount()) return;
  CheckBrowseMode();
  cursor_ = value - 1;
  Resync(0);
}

// --- editing --------------------------------------------------------------------

void TMemDataSet::InternalPost() {
  ++post_attempts;
  TDataSet::InternalPost();
  if (fail_posts > 0) {
    --fail_posts;
    DatabaseError("Post failed");
  }
  if (State() == dsEdit) {
    Row row = RowFromBuffer(ActiveBuffer());
    rows_[static_cast<std::size_t>(cursor_)] = std::move(row);
  } else {
    InternalAddRecord(ActiveBuffer(), false);
  }
}

void TMemDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
  Row row = RowFromBuffer(buffer);
  row.id = ++last_id_;
  int at = append ? RowCount() : std::clamp(cursor_, 0, RowCount());
  rows_.insert(rows_.begin() + at, std::move(row));
  cursor_ = at;
}

void TMemDataSet::InternalDelete() {
  if (fail_deletes > 0) {
    --fail_deletes;
    DatabaseError("Delete failed");
  }
  rows_.erase(rows_.begin() + cursor_);
}

// --- field data -----------------------------------------------------------------

TRecordBuffer TMemDataSet::FieldBuffer() {
  switch (State()) {
    case dsBrowse:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
      return CalcBuffer();
    default:
      return nullptr;
  }
}

const TMemDataSet::Row* TMemDataSet::OldRow() {
  if (IsEmpty()) return nullptr;
  const int row = FindRow(IdOf(ActiveBuffer()));
  if (row < 0 || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return nullptr;
  return &rows_[static_cast<std::size_t>(row)];
}

std::optional<std::string>* TMemDataSet::BlobSlot(const TField* field) {
  TRecordBuffer buffer = FieldBuffer();
  if (buffer == nullptr || field->FieldNo() < 1) return nullptr;
  return &buffer_blobs_[buffer][static_cast<std::size_t>(field->FieldNo() - 1)];
}

bool TMemDataSet::GetFieldData(const TField* field, void* dest) {
  const char* source = nullptr;
  if (field->FieldNo() < 1) {
    if (State() != dsBrowse && State() != dsEdit && State() != dsInsert &&
        State() != dsCalcFields) {
      return false;
    }
    TRecordBuffer buffer = FieldBuffer();
    if (buffer == nullptr) return false;
    source = buffer + record_size_ + field->Offset();
  } else if (State() == dsOldValue || State() == dsCurValue) {
    const Row* row = OldRow();
    if (row == nullptr) return false;
    const auto index = static_cast<std::size_t>(field->FieldNo() - 1);
    if (field->IsBlob()) return row->blobs[index].has_value();
    source = row->data.data() + offsets_[index];
  } else {
    if (field->IsBlob()) {
      std::optional<std::string>* slot = BlobSlot(field);
      return slot != nullptr && slot->has_value();
    }
    TRecordBuffer buffer = FieldBuffer();
    if (buffer == nullptr) return false;
    source = buffer + offsets_[static_cast<std::size_t>(field->FieldNo() - 1)];
  }
  if (source[0] == 0) return false;
  if (dest != nullptr) std::memcpy(dest, source + 1, static_cast<std::size_t>(field->DataSize()));
  return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* data) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsCalcFields && state != dsNewValue) {
    DatabaseError(dbconsts::SNotEditing);
  }
  TRecordBuffer buffer = FieldBuffer();
  if (buffer == nullptr) return;
  if (field->FieldNo() < 1) {
    char* slot = buffer + record_size_ + field->Offset();
    slot[0] = data != nullptr ? 1 : 0;
    if (data != nullptr) std::memcpy(slot + 1, data, static_cast<std::size_t>(field->DataSize()));
  } else {
    if (state == dsCalcFields) DatabaseError(dbconsts::SNotEditing);
    if (field->ReadOnly()) DatabaseError(Format(dbconsts::SFieldReadOnly, {field->DisplayName()}));
    field->Validate(data);
    if (field->IsBlob()) {
      const auto* content = static_cast<const std::string*>(data);
      *BlobSlot(field) = content == nullptr ? std::nullopt : std::optional<std::string>(*content);
    } else {
      char* slot = buffer + offsets_[static_cast<std::size_t>(field->FieldNo() - 1)];
      slot[0] = data != nullptr ? 1 : 0;
      if (data != nullptr) {
        std::memcpy(slot + 1, data, static_cast<std::size_t>(field->DataSize()));
      }
    }
  }
  if (state != dsCalcFields && state != dsNewValue) {
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
  }
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  auto* blob = dynamic_cast<TBlobField*>(field);
  if (blob == nullptr) DatabaseError("Not a blob field");
  return std::make_unique<MemBlobStream>(*this, blob, mode);
}

std::unique_ptr<TMemDataSet> MakePeople(int rows) {
  auto dataset =
      std::make_unique<TMemDataSet>(nullptr, std::vector<Column>{{"ID", ftInteger, 0, true},
                                                                 {"NAME", ftString, 10, false},
                                                                 {"AMOUNT", ftFloat, 0, false}});
  dataset->Open();
  for (int i = 1; i <= rows; ++i) dataset->AddRow({IntToStr(i), "name" + IntToStr(i), ""});
  dataset->First();
  return dataset;
}

}  // namespace tessel::test
