// Refusing, before a generated statement is sent, text that the target
// column cannot hold. A char, varchar or text column keeps its text in code
// page 1252: the server would store every character that code page lacks as
// '?' and report success. The client library does not say whether a result
// column is one of those or a Unicode column, so the table's catalog does,
// once per table while the query is open. Generated statements check their
// update table; the update object checks the table its statement writes to.

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "values/server_types.h"
#include "values/text_encoding.h"

namespace tessel {

const std::vector<std::string>& TTessel::CodePageColumns(const std::string& Table) {
  const std::string key = UpperCase(Table);
  const auto found = FCodePageColumns.find(key);
  if (found != FCodePageColumns.end()) return found->second;
  std::vector<std::string> names;
  try {
    TTessel catalog(nullptr);
    catalog.SetSQLServer(FDataBaseName);
    catalog.SetCacheAllRecords(true);
    // xtype 35 text, 167 varchar, 175 char.
    catalog.SQL()->SetText("select name from syscolumns where id = object_id(" + QuotedStr(Table) +
                           ") and xtype in (35, 167, 175)");
    catalog.Open();
    for (catalog.First(); !catalog.Eof(); catalog.Next()) {
      names.push_back(catalog.Fields()->List()[0]->AsString());
    }
  } catch (const ElqSQLError&) {
    // A catalog that cannot be read leaves the check to the server.
  }
  return FCodePageColumns.emplace(key, std::move(names)).first->second;
}

void TTessel::CheckCodePageText(TUpdateKind UpdateKind) {
  if (UpdateKind == ukDelete) return;
  const TStringList& columns = *FUpdateParams->UpdateFields();
  std::vector<TField*> fields;
  for (int i = 0; i < columns.Count(); ++i) {
    // An edit sends only the columns that changed.
    if (UpdateKind == ukModify && !FieldChanged(columns[i])) continue;
    if (TField* field = FindField(columns[i])) fields.push_back(field);
  }
  CheckCodePageText(FUpdateParams->TableName(), fields);
}

void TTessel::CheckCodePageText(const std::string& Table, const std::vector<TField*>& Fields) {
  std::vector<TField*> texts;
  for (TField* field : Fields) {
    if (field->FieldNo() < 1 || field->IsNull()) continue;
    if (field->DataType() != ftString && field->DataType() != ftMemo) continue;
    texts.push_back(field);
  }
  if (texts.empty() || Trim(Table).empty()) return;
  const std::vector<std::string>* code_page = nullptr;
  for (TField* field : texts) {
    const std::string value = field->AsString();
    if (values::IsAscii(value)) continue;
    if (code_page == nullptr) code_page = &CodePageColumns(Table);
    bool in_code_page = false;
    for (const std::string& name : *code_page)
      in_code_page = in_code_page || SameText(name, field->FieldName());
    if (!in_code_page) continue;
    values::ColumnShape shape = ShapeOf(field->FieldNo());
    shape.Unicode = false;
    values::CheckText(shape, *field, value);
  }
}

}  // namespace tessel
