// TDataLink: a follower of a dataset through a data source, with its own
// window of BufferCount records over the dataset's buffers.

#include <algorithm>

#include "framework/data_consts.h"
#include "framework/datasource.h"

namespace tessel {

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  data_source_fixed_ = false;
  if (data_source_ != nullptr) data_source_->RemoveDataLink(this);
}

TDataSet* TDataLink::DataSet() const {
  return data_source_ == nullptr ? nullptr : data_source_->DataSet();
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == data_source_) return;
  if (data_source_fixed_) DatabaseError(dbconsts::SDataSourceChange);
  if (data_source_ != nullptr) data_source_->RemoveDataLink(this);
  if (source != nullptr) source->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool value) {
  if (read_only_ == value) return;
  read_only_ = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  value = std::max(value, 1);
  if (buffer_count_ == value) return;
  buffer_count_ = value;
  if (!active_) return;
  UpdateRange();
  DataSet()->UpdateBufferCount();
  UpdateRange();
}

int TDataLink::ActiveRecord() const {
  if (!active_ || data_source_->State() == dsSetKey) return 0;
  return DataSet()->active_record_ - first_record_;
}

void TDataLink::SetActiveRecord(int value) {
  if (!active_ || data_source_->State() == dsSetKey) return;
  TDataSet* dataset = DataSet();
  const int target = value + first_record_;
  // Only records the window holds may become active.
  if (target >= 0 && target < dataset->record_count_) dataset->active_record_ = target;
}

int TDataLink::RecordCount() const {
  if (!active_) return 0;
  if (data_source_->State() == dsSetKey) return 1;
  return std::clamp(DataSet()->record_count_ - first_record_, 0, buffer_count_);
}

bool TDataLink::Edit() {
  if (!read_only_ && data_source_ != nullptr) data_source_->Edit();
  return editing_;
}

void TDataLink::UpdateRange() {
  TDataSet* dataset = DataSet();
  if (dataset == nullptr) return;
  const int lowest = std::max(dataset->active_record_ - buffer_count_ + 1, 0);
  const int highest =
      std::min(std::max(dataset->buffer_count_ - buffer_count_, 0), dataset->active_record_);
  first_record_ = std::clamp(first_record_, lowest, std::max(lowest, highest));
}

void TDataLink::UpdateState() {
  SetActive(data_source_ != nullptr && data_source_->State() != dsInactive);
  SetEditing(data_source_ != nullptr &&
             (data_source_->State() == dsEdit || data_source_->State() == dsInsert ||
              data_source_->State() == dsSetKey) &&
             !read_only_);
}

void TDataLink::SetActive(bool value) {
  if (active_ == value) return;
  active_ = value;
  if (value) {
    UpdateRange();
  } else {
    first_record_ = 0;
  }
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  EditingChanged();
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int moved = 0;
      if (data_source_->State() != dsSetKey) {
        const int before = first_record_;
        // The dataset's buffers moved by info positions: follow them, then
        // keep the active record inside the window.
        if (event == deDataSetScroll) first_record_ += static_cast<int>(info);
        UpdateRange();
        moved = first_record_ - before;
      }
      if (event == deDataSetChange) {
        DataSetChanged();
      } else if (event == deDataSetScroll) {
        DataSetScrolled(moved - static_cast<int>(info));
      } else {
        LayoutChanged();
      }
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField*>(info));
      break;
    default:
      break;
  }
}

}  // namespace tessel
