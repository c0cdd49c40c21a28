#include "controls/field_link.h"

namespace tessel::controls {

void FieldLink::SetFieldName(const std::string& name) {
  field_name_ = name;
  FindField();
}

bool FieldLink::CanModify() const {
  return field_ != nullptr && !ReadOnly() && !field_->ReadOnly() && field_->DataSet()->CanModify();
}

void FieldLink::FindField() {
  field_ = Active() && !field_name_.empty() ? DataSet()->FindField(field_name_) : nullptr;
  if (OnDataChange) OnDataChange();
}

void FieldLink::ActiveChanged() {
  FindField();
  if (OnEditingChange) OnEditingChange();
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
