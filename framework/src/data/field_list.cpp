// The field list of a dataset and the field definitions.

#include <algorithm>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_defs.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

// --- TFields ------------------------------------------------------------------

TField* TFields::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(dbconsts::SFieldIndexError, {index}));
  return list_[static_cast<std::size_t>(index)];
}

TField* TFields::FindField(std::string_view name) const {
  for (TField* field : list_) {
    if (SameText(field->FieldName(), name)) return field;
  }
  return nullptr;
}

TField* TFields::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseError(Format(dbconsts::SFieldNotFound, {name}));
  return field;
}

TField* TFields::FieldByNumber(int field_no) const {
  for (TField* field : list_) {
    if (field->FieldNo() == field_no) return field;
  }
  return nullptr;
}

int TFields::IndexOf(const TField* field) const {
  auto it = std::find(list_.begin(), list_.end(), field);
  return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void TFields::GetFieldNames(std::vector<std::string>& names) const {
  for (const TField* field : list_) names.push_back(field->FieldName());
}

void TFields::Add(TField* field) {
  list_.push_back(field);
  ++version_;
}

void TFields::Remove(TField* field) {
  std::erase(list_, field);
  ++version_;
}

// --- TFieldDef ----------------------------------------------------------------

TFieldDef::TFieldDef(TFieldDefs* owner, std::string name, TFieldType type, int size, bool required,
                     int field_no)
    : owner_(owner),
      name_(std::move(name)),
      data_type_(type),
      size_(size),
      required_(required),
      field_no_(field_no) {}

TField* TFieldDef::CreateField(TComponent* owner) const {
  TField* field = CreateFieldOfType(data_type_, owner);
  if (field == nullptr) return nullptr;
  try {
    switch (data_type_) {
      case ftString:
      case ftBytes:
      case ftVarBytes:
      case ftBlob:
      case ftMemo:
        field->SetSize(size_);
        break;
      case ftBCD:
        field->SetSize(size_);
        if (precision_ > 0) static_cast<TBCDField*>(field)->SetPrecision(precision_);
        break;
      default:
        break;
    }
    field->SetFieldName(name_);
    field->SetRequired(required_);
    if (owner_ != nullptr) field->SetDataSet(owner_->DataSet());
  } catch (...) {
    delete field;
    throw;
  }
  return field;
}

// --- TFieldDefs ---------------------------------------------------------------

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required,
                           int field_no) {
  if (field_no == 0) field_no = Count() + 1;
  items_.push_back(std::make_unique<TFieldDef>(this, name, type, size, required, field_no));
  return items_.back().get();
}

void TFieldDefs::Clear() {
  items_.clear();
}

TFieldDef* TFieldDefs::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(dbconsts::SFieldIndexError, {index}));
  return items_[static_cast<std::size_t>(index)].get();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(items_[static_cast<std::size_t>(i)]->Name(), name)) return i;
  }
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : items_[static_cast<std::size_t>(index)].get();
}

void TFieldDefs::Update() {
  if (updated_ || dataset_ == nullptr) return;
  dataset_->InitFieldDefs();
  updated_ = true;
}

}  // namespace tessel
