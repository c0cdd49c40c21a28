// TDataSource: relays a dataset's events to its links and to its own events.

#include "framework/datasource.h"

#include <algorithm>

#include "framework/data_consts.h"

namespace tessel {

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!links_.empty()) RemoveDataLink(links_.back());
  SetDataSet(nullptr);
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

bool TDataSource::IsLinkedTo(TDataSet* data_set) const {
  for (int steps = 0; data_set != nullptr && steps < 4096; ++steps) {
    TDataSource* source = data_set->DataSource();
    if (source == nullptr) return false;
    if (source == this) return true;
    data_set = source->DataSet();
  }
  return false;
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (IsLinkedTo(dataset)) DatabaseError(dbconsts::SCircularDataLink);
  if (dataset_ != nullptr) dataset_->RemoveDataSource(this);
  if (dataset != nullptr) dataset->AddDataSource(this);
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == dsBrowse && dataset_ != nullptr) dataset_->Edit();
}

void TDataSource::UpdateState() {
  SetState(enabled_ && dataset_ != nullptr ? dataset_->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
  if (state_ == value) return;
  const TDataSetState prior = state_;
  state_ = value;
  NotifyDataLinks(deUpdateState, 0);
  if (ComponentState().Contains(csDestroying)) return;
  if (OnStateChange) OnStateChange(this);
  if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyDataLinks(TDataEvent event, std::intptr_t info) {
  // A link may detach itself (or others) while told; walk a copy and skip
  // links that are gone by the time their turn comes.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
  }
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  NotifyDataLinks(event, info);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) {
        const bool field_event = event == deFieldChange || event == deRecordChange;
        OnDataChange(this, field_event ? reinterpret_cast<TField*>(info) : nullptr);
      }
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::AddDataLink(TDataLink* link) {
  links_.push_back(link);
  link->data_source_ = this;
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
  link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  link->data_source_ = nullptr;
  std::erase(links_, link);
  link->UpdateState();
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
}

}  // namespace tessel
