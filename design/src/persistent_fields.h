#pragma once

// The changes the fields dialog makes to a dataset's persistent fields:
// fields made from the columns its query returns, a new data, calculated or
// lookup field, deleting one and moving one in the order. The fields are
// owned by the dataset's owner (the form) and named after the dataset and
// the field, made unique in the form. A field can only join or leave a
// closed dataset: an open one is closed for the change and opened again,
// and what that reopening raises is handed back rather than lost. Main
// thread only.

#include <functional>
#include <string>
#include <vector>

#include "framework/db_types.h"
#include "framework/field.h"

namespace tessel {

class TComponent;
class TDataSet;
class TFieldDefs;

namespace design {

// The fields a form file writes inside the dataset, in their order.
std::vector<TField*> PersistentFields(const TDataSet& dataset);

// The dataset's name followed by the field name's letters, digits and
// underscores, numbered from 1 when the owner already holds a component of
// that name.
std::string FieldComponentName(const TDataSet& dataset, const std::string& field_name);

// What the new-field dialog asks for.
struct TlqNewField {
  std::string FieldName;
  TFieldType DataType = ftString;
  int Size = 0;  // characters or bytes; 0: the type's own
  TFieldKind Kind = fkData;
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields;
  std::string LookupKeyFields;
  std::string LookupResultField;
};

// The field types a new field may have; a calculated or lookup field takes
// one that fits the record's calculated area.
std::vector<TFieldType> NewFieldTypes(TFieldKind kind);

// Runs change on the dataset closed and opens it again when it was open.
// What the change raises passes on, the dataset reopened first; what the
// reopening raises is returned as text (empty: it opened, or was closed).
std::string WhileClosed(TDataSet& dataset, const std::function<void()>& change);

// Adds a data field for each named column of columns (the definitions of the
// dataset's query) that the dataset has no field of, in the order of
// columns. Returns the fields added.
std::vector<TField*> AddColumnFields(TDataSet& dataset, const TFieldDefs& columns,
                                     const std::vector<std::string>& names);
// The columns that have no field of the dataset yet, in their order.
std::vector<std::string> ColumnsWithoutField(const TDataSet& dataset, const TFieldDefs& columns);

// Adds the field described; raises EDatabaseError naming what is missing or
// taken (the name, a lookup's settings, a type the kind cannot hold).
TField* AddNewField(TDataSet& dataset, const TlqNewField& wanted);

// Moves the persistent field at index `from` to index `to` of the order.
void MoveField(TDataSet& dataset, int from, int to);

}  // namespace design
}  // namespace tessel
