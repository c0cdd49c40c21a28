// The dataset's fields: default fields from the definitions, binding fields
// to the cursor's columns and to the calculated area, and calculated fields.

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

// Types a calculated or lookup field may have: those with a fixed-size
// native form that fits in the record's calculated area.
bool CalcFieldTypeAllowed(TFieldType type) {
  switch (type) {
    case ftString:
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftBytes:
    case ftVarBytes:
    case ftAutoInc:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TDataSet::AddField(TField* field) {
  if (fields_.FindField(field->FieldName()) != nullptr && !field->FieldName().empty()) {
    DatabaseError(Format(dbconsts::SDuplicateFieldName, {field->FieldName()}));
  }
  fields_.Add(field);
  field->dataset_ = this;
}

void TDataSet::RemoveField(TField* field) {
  fields_.Remove(field);
  field->dataset_ = nullptr;
}

void TDataSet::GetChildren(const std::function<void(TComponent*)>& proc,
                           const TComponent* root) const {
  // Default fields belong to the dataset and come back at every open.
  for (TField* field : fields_.List()) {
    if (field->Owner() == root) proc(field);
  }
}

void TDataSet::CreateFields() {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TFieldDef* def = field_defs_[i];
    if (def->DataType() != ftUnknown) def->CreateField(this);
  }
}

void TDataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  blob_field_count_ = 0;
  for (TField* field : fields_.List()) {
    if (!binding) {
      field->Bind(false);
      field->field_no_ = 0;
      continue;
    }
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
      if (!CalcFieldTypeAllowed(field->DataType())) {
        DatabaseError(Format(dbconsts::SInvalidCalcType, {field->DisplayName()}));
      }
      field->field_no_ = -1;
      field->offset_ = calc_fields_size_;
      calc_fields_size_ += field->DataSize() + 1;
    } else {
      const TFieldDef* def = field_defs_.Find(field->FieldName());
      if (def == nullptr) DatabaseError(Format(dbconsts::SFieldNotFound, {field->DisplayName()}));
      if (def->DataType() != field->DataType()) {
        DatabaseError(Format(dbconsts::SFieldTypeMismatch,
                             {field->DisplayName(), FieldTypeName(field->DataType()),
                              FieldTypeName(def->DataType())}));
      }
      // The column's value is copied into a buffer of the field's size, so a
      // field declared shorter than its column (a varchar's characters where
      // the column holds their UTF-8 bytes) takes the column's size rather
      // than overrun its buffer or cut the value.
      if ((field->DataType() == ftString || field->DataType() == ftBytes ||
           field->DataType() == ftVarBytes) &&
          field->Size() < def->Size()) {
        field->size_ = def->Size();
      }
      field->field_no_ = def->FieldNo();
      if (field->IsBlob()) {
        field->size_ = def->Size();
        field->offset_ = blob_field_count_++;
      }
    }
    field->Bind(true);
  }
}

void TDataSet::DestroyFields() {
  while (fields_.Count() > 0) {
    TField* field = fields_.List().back();
    RemoveField(field);
    delete field;
  }
}

void TDataSet::GetFieldList(std::vector<TField*>& list, std::string_view names) const {
  std::size_t pos = 0;
  while (pos <= names.size()) {
    std::size_t end = names.find(';', pos);
    if (end == std::string_view::npos) end = names.size();
    std::string name = Trim(names.substr(pos, end - pos));
    if (!name.empty()) list.push_back(fields_.FieldByName(name));
    pos = end + 1;
  }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (calc_fields_size_ <= 0) return;
  const TDataSetState saved = state_;
  state_ = dsCalcFields;
  try {
    CalculateFields(buffer);
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  calc_buffer_ = buffer;
  if (state_ != dsInternalCalc) {
    ClearCalcFields(buffer);
    for (TField* field : fields_.List()) {
      if (field->FieldKind() == fkLookup) field->CalcLookupValue();
    }
  }
  DoOnCalcFields();
}

}  // namespace tessel
