// The statements generated from a query's UpdateParams, and running one
// through a statement query whose master is the posting query.
//
// Statements are built one clause item per line. Column names are written
// exactly as the settings give them, both as columns and as parameter names;
// values never enter the text here. The statement query fills ":name" with the
// field's new value and ":OLD_name" with its value before the edit, and writes
// them into the text in its single substitution pass, so a value that looks
// like SQL or like a parameter marker is sent as a quoted literal and nothing
// else.

#include <memory>
#include <string>

#include "framework/datasource.h"
#include "framework/sysutils.h"
#include "posting/posting_texts.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

bool IsNullValue(const Variant& value) {
  return value.IsNull() || value.IsEmpty();
}

// Null equals only null; other values compare as variants.
bool ValuesDiffer(const Variant& before, const Variant& after) {
  if (IsNullValue(before) || IsNullValue(after)) return IsNullValue(before) != IsNullValue(after);
  return !(before == after);
}

}  // namespace

bool TTessel::FieldChanged(const std::string& Name) const {
  const TField* field = FindField(Name);
  return field != nullptr && ValuesDiffer(field->OldValue(), field->NewValue());
}

void TTessel::BuildInsertSQL(TStrings* Lines) const {
  const TStringList& columns = *FUpdateParams->UpdateFields();
  const int n = columns.Count();
  if (n == 0) return;
  for (int i = 0; i < n; ++i) {
    std::string line = i == 0 ? "insert into " + FUpdateParams->TableName() + " (" + columns[i]
                              : ", " + columns[i];
    if (i == n - 1) line += ")";
    Lines->Add(line);
  }
  for (int i = 0; i < n; ++i) {
    std::string line = (i == 0 ? "Values(:" : ", :") + columns[i];
    if (i == n - 1) line += ")";
    Lines->Add(line);
  }
}

void TTessel::BuildModifySQL(TStrings* Lines) const {
  const TStringList& columns = *FUpdateParams->UpdateFields();
  bool first = true;
  for (int i = 0; i < columns.Count(); ++i) {
    const std::string& column = columns[i];
    if (!FieldChanged(column)) continue;
    Lines->Add((first ? "update " + FUpdateParams->TableName() + " set " : std::string(", ")) +
               column + "=:" + column);
    first = false;
  }
}

void TTessel::BuildDeleteSQL(TStrings* Lines) const {
  Lines->Add("delete from " + FUpdateParams->TableName());
}

void TTessel::BuildWhereSQL(TStrings* Lines) const {
  const TStringList& keys = *FUpdateParams->KeyFields();
  const TStringList& columns = *FUpdateParams->UpdateFields();
  Lines->Add("where ");
  bool first = true;
  // A column that was null before the edit is matched with "is null": "="
  // against null matches no row, which would make every row holding a null
  // in a compared column impossible to update or delete.
  auto compare = [&](const std::string& column) {
    const TField* field = FindField(column);
    const bool was_null = field != nullptr && IsNullValue(field->OldValue());
    Lines->Add((first ? std::string() : std::string("and ")) + column +
               (was_null ? std::string(" is null") : "=:OLD_" + column));
    first = false;
  };
  switch (FUpdateParams->UpdateMode()) {
    case upWhereAll:
      for (int i = 0; i < columns.Count(); ++i) compare(columns[i]);
      break;
    case upWhereKeyOnly:
      for (int i = 0; i < keys.Count(); ++i) compare(keys[i]);
      break;
    case upWhereChanged:
      for (int i = 0; i < keys.Count(); ++i) compare(keys[i]);
      for (int i = 0; i < columns.Count(); ++i) {
        if (keys.IndexOf(columns[i]) < 0 && FieldChanged(columns[i])) compare(columns[i]);
      }
      break;
  }
}

void TTessel::BuildUpdateSQL(TUpdateKind UpdateKind, TStrings* Lines) {
  if (FUpdateParams == nullptr || Lines == nullptr) return;
  switch (UpdateKind) {
    case ukModify:
      BuildModifySQL(Lines);
      break;
    case ukInsert:
      BuildInsertSQL(Lines);
      break;
    case ukDelete:
      BuildDeleteSQL(Lines);
      break;
  }
  if (UpdateKind != ukInsert && Lines->Count() > 0) BuildWhereSQL(Lines);
}

// Settings that cannot make a sound statement are refused before anything
// is sent: a statement without a table, or one naming a column the result
// does not have (whose parameter would silently be null).
void TTessel::CheckUpdateSettings(TUpdateKind) const {
  if (FDataBaseName == nullptr) RaiseDatabaseError(Format(SUndefinedSQLServer.str(), {Name()}));
  if (Trim(FUpdateParams->TableName()).empty()) {
    RaiseDatabaseError(Format(detail::SNoUpdateTable.str(), {Name()}));
  }
  for (const TStringList* list : {FUpdateParams->KeyFields(), FUpdateParams->UpdateFields()}) {
    for (int i = 0; i < list->Count(); ++i) {
      if (FindField((*list)[i]) == nullptr) {
        RaiseDatabaseError(Format(detail::SUpdateColumnNotFound.str(), {Name(), (*list)[i]}));
      }
    }
  }
}

void TTessel::InternalUpdate(TUpdateKind UpdateKind) {
  if (FUpdateParams == nullptr) DatabaseError(Format(detail::SNoUpdateSettings.str(), {Name()}));
  TStringList lines;
  BuildUpdateSQL(UpdateKind, &lines);
  // Nothing to write (no update column, or none changed): no statement and
  // no row-count check.
  if (lines.Count() == 0) return;
  CheckUpdateSettings(UpdateKind);
  CheckCodePageText(UpdateKind);
  // Declared before the statement query, so it outlives it: the statement
  // query lets go of its data source in its destructor.
  auto source = std::make_unique<TDataSource>(this);
  source->SetDataSet(this);
  auto statement = std::make_unique<TTessel>(this);
  statement->SetSQLServer(FDataBaseName);
  statement->SetDataSource(source.get());
  statement->SQL()->Assign(&lines);
  statement->SetReportsRowCount(true);
  statement->InternalExecSQL(qtSQLUpdate);
  if (statement->RowsAffected() == 0) NoRowsAffected(FUpdateParams->TableName());
}

}  // namespace tessel
