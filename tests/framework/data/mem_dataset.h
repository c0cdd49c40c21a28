#pragma once

// A small dataset for the tests: its rows live in a vector. Record buffer
// layout: per column one flag byte and the field's native form, then the
// calculated area, then the row id (the bookmark, 4 bytes) and the bookmark
// flag. Blob contents of a buffer are kept beside it, keyed by the buffer.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/dataset.h"
#include "framework/datasource.h"
#include "framework/field_kinds.h"

namespace tessel::test {

struct Column {
  std::string name;
  TFieldType type;
  int size = 0;
  bool required = false;
  int precision = 0;  // BCD columns
};

class TMemDataSet : public TDataSet {
 public:
  explicit TMemDataSet(TComponent* owner, std::vector<Column> columns = {});
  ~TMemDataSet() override;

  std::vector<Column> columns;
  // InternalPost and InternalDelete fail (EDatabaseError) this many times first.
  int fail_posts = 0;
  int fail_deletes = 0;
  int post_attempts = 0;
  bool read_only = false;

  // Appends a row through the ordinary editing operations.
  void AddRow(const std::vector<std::string>& values);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The row ids in table order.
  std::vector<int> RowIds() const;
  // The id (bookmark) of the record in window buffer `index`.
  int BufferId(int index) const;
  using TDataSet::ActiveRecord;
  using TDataSet::BufferCount;
  using TDataSet::BufferedRecords;
  using TDataSet::RestoreState;
  using TDataSet::SetTempState;

  bool GetFieldData(const TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool BookmarkValid(const char* bookmark) override;
  int CompareBookmarks(const char* a, const char* b) override;
  void SetRecNo(int value) override;

  // Used by the blob stream.
  std::optional<std::string>* BlobSlot(const TField* field);

 protected:
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;
  std::uint16_t GetRecordSize() override { return static_cast<std::uint16_t>(record_size_); }
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return open_; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override { cursor_ = -1; }
  void InternalLast() override { cursor_ = RowCount(); }
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void InternalGotoBookmark(const char* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalHandleException() override {}
  void GetBookmarkData(TRecordBuffer buffer, char* data) override;
  void SetBookmarkData(TRecordBuffer buffer, const char* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool GetCanModify() override { return !read_only; }
  int GetRecNo() override;
  int GetRecordCount() override { return RowCount(); }

 private:
  struct Row {
    std::vector<char> data;
    std::vector<std::optional<std::string>> blobs;
    std::int32_t id = 0;
  };
  using Blobs = std::vector<std::optional<std::string>>;

  // The buffer field access works on in the current state; null when none.
  TRecordBuffer FieldBuffer();
  const Row* OldRow();
  int FindRow(std::int32_t id) const;
  void CopyRowToBuffer(const Row& row, TRecordBuffer buffer);
  Row RowFromBuffer(TRecordBuffer buffer);
  std::int32_t IdOf(TRecordBuffer buffer) const;
  void SetId(TRecordBuffer buffer, std::int32_t id) const;
  char& FlagOf(TRecordBuffer buffer) const;

  std::vector<Row> rows_;
  std::map<const char*, Blobs> buffer_blobs_;
  std::vector<int> offsets_;  // by FieldNo - 1; -1 for blob columns
  int record_size_ = 0;
  int bookmark_offset_ = 0;
  int buffer_size_ = 0;
  int cursor_ = -1;
  std::int32_t last_id_ = 0;
  bool open_ = false;
};

// An open dataset of `rows` records: ID 1..rows (integer), NAME "name<ID>"
// (string of 10), AMOUNT (float, null).
std::unique_ptr<TMemDataSet> MakePeople(int rows);

// A data link that records what it is told.
class TRecordingLink : public TDataLink {
 public:
  std::vector<std::string> events;
  std::vector<int> scroll_distances;
  int update_data_calls = 0;

 protected:
  void ActiveChanged() override { events.push_back(Active() ? "active" : "inactive"); }
  void CheckBrowseMode() override { events.push_back("checkbrowse"); }
  void DataSetChanged() override { events.push_back("changed"); }
  void DataSetScrolled(int distance) override {
    events.push_back("scrolled");
    scroll_distances.push_back(distance);
  }
  void EditingChanged() override { events.push_back(Editing() ? "editing" : "notediting"); }
  void LayoutChanged() override { events.push_back("layout"); }
  void RecordChanged(TField* field) override {
    events.push_back(field ? "record:" + field->FieldName() : "record");
  }
  void UpdateData() override {
    ++update_data_calls;
    events.push_back("updatedata");
  }
};

}  // namespace tessel::test
