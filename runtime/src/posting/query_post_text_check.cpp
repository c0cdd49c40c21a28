// Refusing, before a generated statement is sent, a value that the target
// column cannot hold whole; the server would change it and report success
// either way. A char, varchar or text column keeps its text in the code page
// of its collation, and stores every character that code page lacks as '?'.
// A sized column cuts a longer value to its length (a DB-Library session
// runs with ANSI_WARNINGS off). The client library tells neither a column's
// collation nor its declared length, so the table's catalog does, in one
// query per table while the query is open. Generated statements check their
// update table; the update object checks the table its statement writes to.

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "posting/posting_texts.h"
#include "runtime/Tessel.h"
#include "values/server_types.h"
#include "values/text_encoding.h"

namespace tessel {
namespace {

using detail::TColumnLimit;

// sys.columns type ids.
constexpr int kText = 35, kNText = 99, kImage = 34, kVarChar = 167, kChar = 175, kNVarChar = 231,
              kNChar = 239, kVarBinary = 165, kBinary = 173;

// The catalog's answer for one column, or nothing for a column that is
// neither character nor binary.
bool ReadLimit(TDataSet& catalog, TColumnLimit& limit) {
  const std::vector<TField*>& row = catalog.Fields()->List();
  const int type = row[1]->AsInteger();
  const int max_length = row[2]->AsInteger();
  limit.Name = row[0]->AsString();
  limit.CodePage = row[3]->IsNull() ? 0 : row[3]->AsInteger();
  // text, ntext and image take any length, as (max) columns (-1) do.
  const bool sized = max_length > 0 && type != kText && type != kNText && type != kImage;
  limit.Length = sized ? max_length : -1;
  switch (type) {
    case kText:
    case kVarChar:
    case kChar:
      limit.Kind = TColumnLimit::CodePageText;
      return true;
    case kNText:
    case kNVarChar:
    case kNChar:
      limit.Kind = TColumnLimit::UnicodeText;
      // The catalog counts bytes: two per UTF-16 code unit.
      if (sized) limit.Length = max_length / 2;
      return true;
    case kImage:
    case kVarBinary:
    case kBinary:
      limit.Kind = TColumnLimit::Bytes;
      return true;
    default:
      return false;
  }
}

bool IsTextField(const TField& Field) {
  const TFieldType type = Field.DataType();
  return type == ftString || type == ftMemo || type == ftFixedChar || type == ftWideString;
}

bool IsBytesField(const TField& Field) {
  const TFieldType type = Field.DataType();
  return type == ftBytes || type == ftVarBytes || type == ftBlob;
}

// The bytes a binary field sends: a fixed-length field pads with zero bytes.
std::string SentBytes(const TField& Field) {
  std::string bytes = Field.AsString();
  if (Field.DataType() == ftBytes) {
    while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  }
  return bytes;
}

[[noreturn]] void TooLong(const TField& Field, const TColumnLimit& Column, std::size_t Length) {
  const int length = static_cast<int>(Length);
  switch (Column.Kind) {
    case TColumnLimit::UnicodeText:
      DatabaseError(
          Format(detail::STooLongCharacters.str(), {Field.DisplayName(), length, Column.Length}));
    case TColumnLimit::CodePageText:
      DatabaseError(Format(detail::STooLongInCodePage.str(),
                           {Field.DisplayName(), length, Column.CodePage, Column.Length}));
    case TColumnLimit::Bytes:
      break;
  }
  DatabaseError(Format(detail::STooLongBytes.str(), {Field.DisplayName(), length, Column.Length}));
}

// Refuses Field's value when Column cannot hold it whole.
void CheckValue(const TField& Field, const TColumnLimit& Column, const values::ColumnShape& Shape) {
  if (Column.Kind == TColumnLimit::Bytes) {
    if (!IsBytesField(Field) || Column.Length < 0) return;
    const std::size_t length = SentBytes(Field).size();
    if (length > static_cast<std::size_t>(Column.Length)) TooLong(Field, Column, length);
    return;
  }
  if (!IsTextField(Field)) return;
  const int code_page =
      Column.Kind == TColumnLimit::UnicodeText ? values::kUnicode : Column.CodePage;
  // A code page the package has no table of, or one the catalog did not
  // tell, is left to the server.
  if (!values::KnownCodePage(code_page)) return;
  if (Column.Kind == TColumnLimit::CodePageText && code_page == values::kUnicode) return;
  const std::string value = Field.AsString();
  if (Column.Length < 0 && values::IsAscii(value)) return;
  values::ColumnShape shape = Shape;
  shape.CodePage = code_page;
  values::CheckText(shape, Field, value);
  if (Column.Length < 0) return;
  const std::size_t length = values::ColumnLength(value, code_page);
  if (length > static_cast<std::size_t>(Column.Length)) TooLong(Field, Column, length);
}

}  // namespace

const std::vector<TColumnLimit>& TTessel::ColumnLimits(const std::string& Table) {
  const std::string key = UpperCase(Table);
  const auto found = FColumnLimits.find(key);
  if (found != FColumnLimits.end()) return found->second;
  std::vector<TColumnLimit> limits;
  try {
    TTessel catalog(nullptr);
    catalog.SetSQLServer(FDataBaseName);
    catalog.SetCacheAllRecords(true);
    catalog.SQL()->SetText(
        "select name, system_type_id, max_length, "
        "cast(collationproperty(collation_name, 'CodePage') as int) "
        "from sys.columns where object_id = object_id(" +
        QuotedStr(Table) + ")");
    catalog.Open();
    for (catalog.First(); !catalog.Eof(); catalog.Next()) {
      TColumnLimit limit;
      if (ReadLimit(catalog, limit)) limits.push_back(std::move(limit));
    }
  } catch (const ElqSQLError&) {
    // A catalog that cannot be read leaves the checks to the server.
  }
  return FColumnLimits.emplace(key, std::move(limits)).first->second;
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
  std::vector<TField*> sent;
  for (TField* field : Fields) {
    if (field->FieldNo() < 1 || field->IsNull()) continue;
    if (IsTextField(*field) || IsBytesField(*field)) sent.push_back(field);
  }
  if (sent.empty() || Trim(Table).empty()) return;
  const std::vector<TColumnLimit>& columns = ColumnLimits(Table);
  for (TField* field : sent) {
    for (const TColumnLimit& column : columns) {
      if (SameText(column.Name, field->FieldName())) {
        CheckValue(*field, column, ShapeOf(field->FieldNo()));
        break;
      }
    }
  }
}

}  // namespace tessel
