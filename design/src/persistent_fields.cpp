#include "persistent_fields.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/exceptions.h"
#include "framework/field_defs.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel::design {

namespace {

// In the order a type list reads best: text, numbers, dates, bytes.
constexpr TFieldType kDataTypes[] = {ftString,   ftSmallint, ftInteger,  ftWord,     ftAutoInc,
                                     ftLargeint, ftBoolean,  ftFloat,    ftCurrency, ftBCD,
                                     ftDate,     ftTime,     ftDateTime, ftBytes,    ftVarBytes,
                                     ftBlob,     ftMemo};

// A calculated or lookup value lives in the record's calculated area, which
// has room for fixed-size values only.
bool FitsCalculatedArea(TFieldType type) {
  return type != ftLargeint && type != ftBlob && type != ftMemo;
}

bool HasSize(TFieldType type) {
  return type == ftString || type == ftBytes || type == ftVarBytes || type == ftBCD;
}

}  // namespace

std::vector<TField*> PersistentFields(const TDataSet& dataset) {
  std::vector<TField*> fields;
  // Default fields belong to the dataset itself and are made again at open.
  for (TField* field : dataset.Fields()->List()) {
    if (field->Owner() != &dataset) fields.push_back(field);
  }
  return fields;
}

std::string FieldComponentName(const TDataSet& dataset, const std::string& field_name) {
  std::string base = dataset.Name();
  for (const char c : field_name) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') base += c;
  }
  const TComponent* owner = dataset.Owner();
  const auto taken = [owner, &dataset](const std::string& name) {
    return owner != nullptr ? owner->FindComponent(name) != nullptr || SameText(owner->Name(), name)
                            : SameText(dataset.Name(), name);
  };
  if (!taken(base)) return base;
  for (int n = 1;; ++n) {
    const std::string name = base + std::to_string(n);
    if (!taken(name)) return name;
  }
}

std::vector<TFieldType> NewFieldTypes(TFieldKind kind) {
  std::vector<TFieldType> types;
  for (const TFieldType type : kDataTypes) {
    if (kind == fkData || FitsCalculatedArea(type)) types.push_back(type);
  }
  return types;
}

std::string WhileClosed(TDataSet& dataset, const std::function<void()>& change) {
  const bool was_active = dataset.Active();
  dataset.Close();
  try {
    change();
  } catch (...) {
    if (was_active) {
      try {
        dataset.Open();
      } catch (...) {
        // The change's own error is the one to report.
      }
    }
    throw;
  }
  if (!was_active) return {};
  try {
    dataset.Open();
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

std::vector<std::string> ColumnsWithoutField(const TDataSet& dataset, const TFieldDefs& columns) {
  std::vector<std::string> names;
  const std::vector<TField*> fields = PersistentFields(dataset);
  for (int i = 0; i < columns.Count(); ++i) {
    const std::string& name = columns[i]->Name();
    const bool has_field = std::any_of(fields.begin(), fields.end(), [&name](const TField* field) {
      return SameText(field->FieldName(), name);
    });
    if (!has_field) names.push_back(name);
  }
  return names;
}

std::vector<TField*> AddColumnFields(TDataSet& dataset, const TFieldDefs& columns,
                                     const std::vector<std::string>& names) {
  std::vector<TField*> added;
  const std::vector<std::string> free = ColumnsWithoutField(dataset, columns);
  // The definitions here are a copy read through another query: each field
  // is made from one of the dataset's own, so that it joins this dataset.
  TFieldDefs own(&dataset);
  for (const std::string& name : free) {
    const bool chosen = std::any_of(names.begin(), names.end(),
                                    [&name](const std::string& n) { return SameText(n, name); });
    const TFieldDef* column = columns.Find(name);
    if (!chosen || column == nullptr) continue;
    TFieldDef* def = own.Add(column->Name(), column->DataType(), column->Size(), column->Required(),
                             column->FieldNo());
    def->SetPrecision(column->Precision());
    TField* made = def->CreateField(dataset.Owner());
    if (made == nullptr) continue;
    try {
      made->SetName(FieldComponentName(dataset, name));
    } catch (...) {
      delete made;
      throw;
    }
    added.push_back(made);
  }
  return added;
}

TField* AddNewField(TDataSet& dataset, const TlqNewField& wanted) {
  if (wanted.FieldName.empty()) DatabaseError("Enter a field name.");
  if (dataset.FindField(wanted.FieldName) != nullptr) {
    DatabaseError(Format(dbconsts::SDuplicateFieldName, {wanted.FieldName}));
  }
  const std::vector<TFieldType> types = NewFieldTypes(wanted.Kind);
  if (std::find(types.begin(), types.end(), wanted.DataType) == types.end()) {
    DatabaseError(Format(dbconsts::SInvalidCalcType, {wanted.FieldName}));
  }
  if (wanted.Kind == fkLookup) {
    if (wanted.LookupDataSet == nullptr || wanted.KeyFields.empty() ||
        wanted.LookupKeyFields.empty() || wanted.LookupResultField.empty()) {
      DatabaseError(Format(dbconsts::SLookupInfoError, {wanted.FieldName}));
    }
    if (wanted.LookupDataSet == &dataset) DatabaseError(dbconsts::SCircularDataLink);
  }
  std::unique_ptr<TField> field(CreateFieldOfType(wanted.DataType, dataset.Owner()));
  if (field == nullptr) DatabaseError(Format(dbconsts::SInvalidCalcType, {wanted.FieldName}));
  field->SetName(FieldComponentName(dataset, wanted.FieldName));
  field->SetFieldName(wanted.FieldName);
  if (wanted.Size > 0 && HasSize(wanted.DataType)) field->SetSize(wanted.Size);
  field->SetFieldKind(wanted.Kind);
  if (wanted.Kind == fkLookup) {
    field->SetLookupDataSet(wanted.LookupDataSet);
    field->SetKeyFields(wanted.KeyFields);
    field->SetLookupKeyFields(wanted.LookupKeyFields);
    field->SetLookupResultField(wanted.LookupResultField);
  }
  field->SetDataSet(&dataset);
  return field.release();
}

void MoveField(TDataSet& dataset, int from, int to) {
  std::vector<TField*> fields = PersistentFields(dataset);
  const int count = static_cast<int>(fields.size());
  if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
  TField* moving = fields[static_cast<std::size_t>(from)];
  fields.erase(fields.begin() + from);
  fields.insert(fields.begin() + to, moving);
  // The field list keeps the order fields joined in: they join again in the new one.
  for (TField* field : fields) field->SetDataSet(nullptr);
  for (TField* field : fields) field->SetDataSet(&dataset);
}

}  // namespace tessel::design
