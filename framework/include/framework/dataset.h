#pragma once

// TDataSet: the abstract dataset. It owns the state machine (inactive,
// browse, edit, insert and the temporary states), a window of record buffers
// shared with the attached data links, the fields and field definitions, and
// the Before/After events. A descendant supplies the cursor through the
// record-level virtuals (GetRecord, InternalOpen, InternalPost ...); see
// src/data/dataset_state.cpp for the rules the two sides keep.
//
// Ownership: the dataset owns its record buffers (allocated and freed through
// the descendant's AllocRecordBuffer/FreeRecordBuffer), its field definitions
// and its fields (heap-allocated components; the dataset deletes them when it
// goes). Data sources attached to it are not owned. A descendant calls
// Destroying() and Close() at the top of its own destructor: by the time
// ~TDataSet runs, the descendant's record-level operations are gone.
// Main thread only, except that a descendant may open on a worker while
// controls are disabled.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/classes.h"
#include "framework/db_types.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "framework/field_defs.h"
#include "framework/variant.h"

namespace tessel {

class TDataSource;
class TDataLink;

// What a DataEvent tells the data sources and links.
enum TDataEvent : std::uint8_t {
  deFieldChange,      // info: the TField* whose value changed
  deRecordChange,     // info: a TField* or 0 for the whole record
  deDataSetChange,    // the buffers were refilled
  deDataSetScroll,    // info: how far the buffers moved (negative: towards the end)
  deLayoutChange,     // fields or their order changed
  deUpdateRecord,     // controls: write pending edits into the fields
  deUpdateState,      // the state changed
  deCheckBrowseMode,  // about to leave the record: settle pending edits
  dePropertyChange,   // field definitions are out of date
  deFieldListChange,
  deFocusControl,
};

// Resync options, combined with '|': rmExact fails unless the cursor record
// still exists; rmCenter puts the current record in the middle of the window.
using TResyncMode = unsigned;
inline constexpr TResyncMode rmExact = 1;
inline constexpr TResyncMode rmCenter = 2;

using TLocateOptions = unsigned;
inline constexpr TLocateOptions loCaseInsensitive = 1;
inline constexpr TLocateOptions loPartialKey = 2;

enum TBlobStreamMode : std::uint8_t { bmRead, bmWrite, bmReadWrite };

// A record buffer: a block of bytes whose layout belongs to the descendant.
using TRecordBuffer = char*;
// A copy of a record's bookmark data (BookmarkSize bytes); empty means none.
using TBookmark = std::vector<char>;

using TDataSetNotifyEvent = std::function<void(TDataSet*)>;
using TDataSetErrorEvent = std::function<void(TDataSet*, EDatabaseError&, TDataAction&)>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // --- open and close -----------------------------------------------------
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Active() const { return state_ != dsInactive; }
  // While the component is loading, the value is kept and applied in Loaded.
  void SetActive(bool value);
  TDataSetState State() const { return state_; }

  // --- navigation ---------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves up to distance records; returns how many it moved (signed).
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return active_record_ >= record_count_; }
  // The current record's 1-based position, -1 when the descendant cannot tell.
  int RecNo() { return GetRecNo(); }
  // Moves to the record at that position; the base class ignores it.
  virtual void SetRecNo(int /*value*/) {}
  int RecordCount() { return GetRecordCount(); }

  // --- editing ------------------------------------------------------------
  // A new record after the last one / before the current one, in dsInsert.
  void Append();
  void Insert();
  // Edit of an empty dataset inserts. InternalEdit runs in the error loop
  // (OnEditError).
  void Edit();
  // Writes the record through InternalPost in the error loop (OnPostError);
  // on failure the dataset stays in dsEdit or dsInsert with the edits kept.
  virtual void Post();
  // Drops the edits; after an insert the record that was current returns.
  virtual void Cancel();
  // Removes the current record through InternalDelete in the error loop
  // (OnDeleteError); in dsInsert it cancels instead.
  void Delete();
  // Assigns values to the fields in field order (Unassigned leaves a field as
  // it is); in edit or insert state only.
  void SetFields(const std::vector<Variant>& values);
  // Insert or Append, SetFields, Post in one call.
  void InsertRecord(const std::vector<Variant>& values);
  void AppendRecord(const std::vector<Variant>& values);
  // Empties every field of the record being edited.
  void ClearFields();
  // Posts (when modified) or cancels a pending edit; raises if closed.
  void CheckBrowseMode();
  // Asks the controls to write pending edits into the fields.
  void UpdateRecord();
  bool Modified() const { return modified_; }
  bool CanModify() { return GetCanModify(); }
  void Refresh();
  // Refills the buffers around the cursor record.
  void Resync(TResyncMode mode);
  // Moves the descendant's cursor to the active record / forgets where it is.
  void UpdateCursorPos();
  void CursorPosChanged() { current_record_ = -1; }

  // --- bookmarks ----------------------------------------------------------
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  void FreeBookmark(TBookmark& bookmark) { bookmark.clear(); }
  virtual bool BookmarkValid(const char* bookmark);
  // 0 when the two designate the same record; null means no bookmark.
  virtual int CompareBookmarks(const char* a, const char* b);
  int BookmarkSize() const { return bookmark_size_; }

  // --- controls and notifications ----------------------------------------
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ != 0; }
  virtual void DataEvent(TDataEvent event, std::intptr_t info);

  // --- search -------------------------------------------------------------
  // The base implementation walks the records with controls disabled and
  // compares field values; descendants with a faster way override it.
  // BeforeScroll fires once; AfterScroll once when a record was found (and
  // made current). A failed search leaves the cursor where it was.
  virtual bool Locate(const std::string& key_fields, const Variant& key_values,
                      TLocateOptions options);
  // The value(s) of result_fields in the first matching record, or Null; the
  // base implementation leaves the cursor where it was and fires no scroll events.
  virtual Variant Lookup(const std::string& key_fields, const Variant& key_values,
                         const std::string& result_fields);

  // --- fields -------------------------------------------------------------
  TFields* Fields() { return &fields_; }
  const TFields* Fields() const { return &fields_; }
  int FieldCount() const { return fields_.Count(); }
  // Form files: the persistent fields root owns, in field order.
  void GetChildren(const std::function<void(TComponent*)>& proc,
                   const TComponent* root) const override;
  TFieldDefs* FieldDefs() { return &field_defs_; }
  TField* FindField(std::string_view name) const { return fields_.FindField(name); }
  // Raises EDatabaseError "Field '<name>' not found".
  TField* FieldByName(std::string_view name) const { return fields_.FieldByName(name); }
  TField* FieldByNumber(int field_no) const { return fields_.FieldByNumber(field_no); }
  // The fields named in a ';'-separated list, in that order; raises for an unknown name.
  void GetFieldList(std::vector<TField*>& list, std::string_view names) const;
  void GetFieldNames(std::vector<std::string>& names) const { fields_.GetFieldNames(names); }
  // One name: that field's value; several (';'): a variant array of them.
  Variant FieldValues(std::string_view names) const;
  void SetFieldValues(std::string_view names, const Variant& value);
  // The dataset made its own fields from the definitions at open.
  bool DefaultFields() const { return default_fields_; }
  int CalcFieldsSize() const { return calc_fields_size_; }
  int BlobFieldCount() const { return blob_field_count_; }
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }

  // --- data sources -------------------------------------------------------
  // The master data source of a detail dataset; none in the base class.
  TDataSource* DataSource() const { return GetDataSource(); }
  // True when this dataset is the dataset of data_source or of a data source
  // further up its chain of masters.
  bool IsLinkedTo(TDataSource* data_source) const;

  // --- field data (called by the fields) ---------------------------------
  // True when the field has a value in the buffer the state designates; with
  // a destination, the value is written there in the field's native form.
  virtual bool GetFieldData(const TField* field, void* buffer) = 0;
  // Writes the native form (null buffer: null) into the current buffer. For
  // blob and memo fields the buffer points to a std::string with the content.
  virtual void SetFieldData(TField* field, const void* buffer) = 0;
  // A stream over a blob field's content; the base class raises.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
  // A field's value read in another state (dsOldValue, dsNewValue, dsCurValue).
  Variant GetStateFieldValue(TDataSetState state, const TField* field);

  // The buffer of the current record (null when closed).
  TRecordBuffer ActiveBuffer() const;

  // --- events -------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  // Offered an EDatabaseError from InternalPost, InternalEdit or
  // InternalDelete: daFail raises it, daAbort ends silently, daRetry tries again.
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

 protected:
  // --- record-level operations a descendant provides ----------------------
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) = 0;
  virtual std::uint16_t GetRecordSize() { return 0; }
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  // Base: raises when a required data field is null.
  virtual void InternalPost();
  virtual void InternalDelete() = 0;
  virtual void InternalCancel() {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalRefresh() {}
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
  virtual void InternalGotoBookmark(const char* bookmark) = 0;
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual void InternalHandleException() = 0;
  virtual void GetBookmarkData(TRecordBuffer buffer, char* data) = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const char* data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) = 0;
  virtual void ClearCalcFields(TRecordBuffer /*buffer*/) {}
  virtual bool GetCanModify() { return true; }
  virtual int GetRecNo() { return -1; }
  virtual int GetRecordCount() { return -1; }
  virtual TDataSource* GetDataSource() const { return nullptr; }

  // --- hooks with a default -------------------------------------------------
  virtual void DoOnNewRecord();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  virtual void DoOnCalcFields();
  // Computes calculated fields of buffer in the dsCalcFields state.
  virtual void GetCalcFields(TRecordBuffer buffer);
  // Clears the calculated area, resolves lookup fields, runs OnCalcFields.
  void CalculateFields(TRecordBuffer buffer);
  virtual void CreateFields();
  virtual void BindFields(bool binding);
  virtual void DestroyFields();
  // Fills the field definitions (opening the cursor for information only when closed).
  virtual void InitFieldDefs();
  // Raises when a required data field of the current record is null.
  void CheckRequiredFields();

  // --- state --------------------------------------------------------------
  void SetState(TDataSetState value);
  // Switches state without notifying anyone and with controls disabled;
  // returns the state to give back to RestoreState.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);
  void SetModified(bool value) { modified_ = value; }
  void SetBookmarkSize(int size) { bookmark_size_ = size; }
  void SetDefaultFields(bool value) { default_fields_ = value; }
  void CheckActive() const;
  void CheckInactive() const;
  void CheckCanModify();

  // --- buffers ------------------------------------------------------------
  TRecordBuffer TempBuffer() const;
  TRecordBuffer CalcBuffer() const { return calc_buffer_; }
  TRecordBuffer Buffer(int index) const { return buffers_[static_cast<std::size_t>(index)]; }
  int ActiveRecord() const { return active_record_; }
  int BufferCount() const { return buffer_count_; }
  // Records held in the buffers (at most BufferCount).
  int BufferedRecords() const { return record_count_; }
  int CurrentRecord() const { return current_record_; }
  void ClearBuffers();
  // Reads records after / before those in the buffers until they are full.
  int GetNextRecords();
  int GetPriorRecords();
  bool GetNextRecord();
  bool GetPriorRecord();

  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TFieldDefs;

  void OpenCursor(bool info_query);
  void CloseCursor();
  void DoInternalOpen();
  void SetBufListSize(int size);
  void SetBufferCount(int value);
  void UpdateBufferCount();
  void MoveBuffer(int from, int to);
  bool StepForward(int& scrolled);
  bool StepBackward(int& scrolled);
  void ActivateBuffers();
  void SetCurrentRecord(int index);
  void FreeFieldBuffers();
  void InitRecord(TRecordBuffer buffer);
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void AdjustFirstRecords(int delta);
  void AddField(TField* field);
  void RemoveField(TField* field);
  bool SearchRecords(const std::vector<TField*>& keys, const Variant& values,
                     TLocateOptions options);
  bool LocateInBuffers(const std::vector<TField*>& keys, const Variant& values,
                       TLocateOptions options);
  void Fire(const TDataSetNotifyEvent& event);

  TDataSetState state_ = dsInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool default_fields_ = false;
  bool auto_calc_fields_ = true;
  bool streamed_active_ = false;

  // The window: buffers_[0 .. buffer_count_] (the last one is the temporary
  // buffer); record_count_ of them hold records; active_record_ is the
  // current one; current_record_ is where the descendant's cursor stands
  // (-1: unknown).
  std::vector<TRecordBuffer> buffers_;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  TRecordBuffer calc_buffer_ = nullptr;

  int bookmark_size_ = 0;
  int calc_fields_size_ = 0;
  int blob_field_count_ = 0;
  int disable_count_ = 0;
  TDataSetState disable_state_ = dsInactive;
  TDataEvent enable_event_ = deDataSetChange;

  TFields fields_{this};
  TFieldDefs field_defs_{this};
  std::vector<TDataSource*> data_sources_;
};

}  // namespace tessel
