#include "controls/field_link.h"

namespace tessel::controls {

void FieldLink::SetFieldName(const std::string& name) {
  field_name_ = name;
  FindField();
}

bool LinkCanModify(const TDataLink& link) {
  if (!link.Active() || link.ReadOnly()) return false;
  TDataSet* dataset = link.DataSet();
  return dataset != nullptr && dataset->FieldCount() > 0 && dataset->CanModify();
}

bool FieldLink::CanModify() const {
  return field_ != nullptr && !field_->ReadOnly() && LinkCanModify(*this);
}

void FieldLink::FindField() {
  field_ = Active() && !field_name_.empty() ? DataSet()->FindField(field_name_) : nullptr;
  if (OnDataChange) OnDataChange();
}

void FieldLink::ActiveChanged() {
  FindField();
  if (OnEditingChange) OnEditingChange();
}

void FieldLink::DataSetChanged() {
  FindField();
}

void FieldLink::DataSetScrolled(int) {
  RecordChanged(nullptr);
}

void FieldLink::LayoutChanged() {
  FindField();
}

void FieldLink::RecordChanged(TField* field) {
  if ((field == nullptr || field == field_) && OnDataChange) OnDataChange();
}

void FieldLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void FieldLink::UpdateData() {
  if (OnUpdateData) OnUpdateData();
}

}  // namespace tessel::controls
