#pragma once

// TDataSource connects a dataset to any number of data links; TDataLink is
// the base of everything that follows a dataset (controls, detail datasets).
// A link asks for BufferCount records: the dataset keeps at least as many
// record buffers as its largest link asks for, and each link sees a window of
// them starting at its FirstRecord.
//
// Ownership: neither owns the other. A data source's dataset reference is
// cleared when the dataset goes; a link detaches itself from its data source
// when destroyed, and a destroyed data source detaches its links.

#include <functional>
#include <vector>

#include "framework/classes.h"
#include "framework/dataset.h"

namespace tessel {

class TDataLink;

using TDataChangeEvent = std::function<void(TDataSource*, TField*)>;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataset_; }
  // Raises "Circular datalinks are not allowed" when the dataset is linked
  // back to this data source.
  void SetDataSet(TDataSet* dataset);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool value) { auto_edit_ = value; }
  // The dataset's state while enabled, dsInactive otherwise.
  TDataSetState State() const { return state_; }
  // True when data_set's master chain leads back to this data source.
  bool IsLinkedTo(TDataSet* data_set) const;
  // Puts the dataset in edit mode when AutoEdit allows.
  void Edit();

  // Sender, then the changed field or null for the whole record.
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnStateChange;
  TNotifyEvent OnUpdateData;

  const std::vector<TDataLink*>& DataLinks() const { return links_; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, std::intptr_t info);
  void NotifyDataLinks(TDataEvent event, std::intptr_t info);
  void SetState(TDataSetState value);
  void UpdateState();
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* dataset_ = nullptr;
  bool enabled_ = true;
  bool auto_edit_ = true;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> links_;
};

class TDataLink {
 public:
  TDataLink();
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return data_source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // Active while the data source is enabled and its dataset open.
  bool Active() const { return active_; }
  // The link's data source is in edit or insert state.
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // Records the link wants buffered; the dataset grows its window to match.
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int value);
  // The dataset's active record relative to this link's window.
  int ActiveRecord() const;
  void SetActiveRecord(int value);
  // Records of the window that hold data (at most BufferCount).
  int RecordCount() const;
  // First dataset buffer of the link's window.
  int FirstRecord() const { return first_record_; }
  // Starts editing the dataset unless the link is read-only; true when editing.
  bool Edit();
  // Raises if the link's data source may not be changed any more.
  void SetDataSourceFixed(bool value) { data_source_fixed_ = value; }

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField* /*field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void UpdateData() {}

 private:
  friend class TDataSource;
  friend class TDataSet;

  void DataEvent(TDataEvent event, std::intptr_t info);
  void UpdateState();
  void UpdateRange();
  void UpdateRecord();
  void SetActive(bool value);
  void SetEditing(bool value);

  TDataSource* data_source_ = nullptr;
  int buffer_count_ = 1;
  int first_record_ = 0;
  bool read_only_ = false;
  bool active_ = false;
  bool editing_ = false;
  bool updating_ = false;
  bool data_source_fixed_ = false;
};

}  // namespace tessel
