// TField: the parts every field kind shares.

#include "framework/field.h"

#include <cstring>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/sysutils.h"

namespace tessel {

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  Destroying();
  if (dataset_ == nullptr) return;
  TDataSet* dataset = dataset_;
  dataset->RemoveField(this);
  // The record layout was computed with this field; an open dataset cannot
  // go on without it.
  if (dataset->Active()) {
    try {
      dataset->Close();
    } catch (...) {
      // A destructor must not throw; the dataset is left as the close left it.
    }
  }
}

TDataSet& TField::CheckedDataSet() const {
  if (dataset_ == nullptr) DatabaseError(Format(dbconsts::SDataSetMissing, {DisplayName()}));
  return *dataset_;
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_ != nullptr) dataset_->CheckInactive();
  if (dataset != nullptr) dataset->CheckInactive();
  if (dataset_ != nullptr) dataset_->RemoveField(this);
  if (dataset != nullptr) dataset->AddField(this);
}

TComponent* TField::GetParentComponent() const {
  return dataset_;
}

void TField::SetParentComponent(TComponent* parent) {
  auto* dataset = dynamic_cast<TDataSet*>(parent);
  // Directly in its owner (a form's top level) a field simply has no dataset.
  if (parent != nullptr && dataset == nullptr && parent != Owner()) {
    throw EComponentError("Field " + Name() + " cannot be placed in " + parent->Name() +
                          ": a field belongs to a dataset, and " + parent->Name() + " is a " +
                          parent->ClassName());
  }
  SetDataSet(dataset);
}

int TField::DisplayWidth() const {
  if (display_width_ > 0) return display_width_;
  switch (data_type_) {
    case ftString:
      return size_;
    case ftDateTime:
      return 19;
    default:
      return 10;
  }
}

void TField::SetFieldName(const std::string& name) {
  if (dataset_ != nullptr && !SameText(name, field_name_)) {
    TField* other = dataset_->FindField(name);
    if (other != nullptr && other != this) {
      DatabaseError(Format(dbconsts::SDuplicateFieldName, {name}));
    }
  }
  field_name_ = name;
  // Names resolved to fields before no longer hold.
  if (dataset_ != nullptr) ++dataset_->Fields()->version_;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (kind == field_kind_) return;
  if (dataset_ != nullptr) dataset_->CheckInactive();
  field_kind_ = kind;
}

void TField::SetSize(int size) {
  if (dataset_ != nullptr) dataset_->CheckInactive();
  size_ = size < 0 ? 0 : size;
}

int TField::Index() const {
  return dataset_ == nullptr ? -1 : dataset_->Fields()->IndexOf(this);
}

const std::string& TField::DisplayLabel() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

const std::string& TField::DisplayName() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

void TField::SetLookupDataSet(TDataSet* dataset) {
  if (dataset == lookup_dataset_) return;
  if (lookup_dataset_ != nullptr) RemoveFreeNotification(lookup_dataset_);
  lookup_dataset_ = dataset;
  if (dataset != nullptr) FreeNotification(dataset);
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == lookup_dataset_) lookup_dataset_ = nullptr;
}

void TField::Bind(bool binding) {
  if (!binding || field_kind_ != fkLookup) return;
  if (lookup_dataset_ == nullptr || key_fields_.empty() || lookup_key_fields_.empty() ||
      lookup_result_field_.empty()) {
    DatabaseError(Format(dbconsts::SLookupInfoError, {DisplayName()}));
  }
  if (lookup_dataset_ == dataset_) DatabaseError(dbconsts::SCircularDataLink);
  // The key fields must exist here and the lookup fields there; each check
  // raises with the unknown name. The lookup dataset opens with its user.
  std::vector<TField*> keys;
  dataset_->GetFieldList(keys, key_fields_);
  lookup_dataset_->Open();
  std::vector<TField*> lookup_keys;
  lookup_dataset_->GetFieldList(lookup_keys, lookup_key_fields_);
  lookup_dataset_->FieldByName(lookup_result_field_);
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

void TField::Clear() {
  SetData(nullptr);
}

bool TField::GetData(void* buffer) const {
  if (validating_) {
    if (validating_buffer_ == nullptr) return false;
    if (buffer != nullptr && DataSize() > 0) {
      std::memcpy(buffer, validating_buffer_, static_cast<std::size_t>(DataSize()));
    }
    return true;
  }
  return CheckedDataSet().GetFieldData(this, buffer);
}

void TField::SetData(const void* buffer) {
  CheckedDataSet().SetFieldData(this, buffer);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  validating_buffer_ = buffer;
  validating_ = true;
  try {
    OnValidate(this);
  } catch (...) {
    validating_ = false;
    validating_buffer_ = nullptr;
    throw;
  }
  validating_ = false;
  validating_buffer_ = nullptr;
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::AccessError(const char* type_name) const {
  DatabaseError(Format(dbconsts::SFieldAccessError, {DisplayName(), type_name}));
}

void TField::ConvertError(const char* format, const std::string& value) const {
  DatabaseError(Format(format, {value, DisplayName()}));
}

// The base class converts nothing: each kind overrides what it supports.
std::string TField::AsString() const {
  AccessError("String");
}
std::string TField::DisplayText() const {
  return IsNull() ? std::string() : AsString();
}
void TField::SetAsString(const std::string&) {
  AccessError("String");
}
std::int32_t TField::AsInteger() const {
  AccessError("Integer");
}
void TField::SetAsInteger(std::int32_t) {
  AccessError("Integer");
}
double TField::AsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloat(double) {
  AccessError("Float");
}
bool TField::AsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
  AccessError("Boolean");
}
TDateTime TField::AsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTime(TDateTime) {
  AccessError("DateTime");
}

}  // namespace tessel
