// Which table each text and image column of a query comes from. READTEXT
// needs the column named with its table, but a result only names the column,
// so the FROM clause of the query's own SQL text is read, the select list is
// searched for a qualifier, and the server's catalog is asked for whatever is
// left. The answers are kept in FFieldList until the SQL text changes.
//
// Positions in the parsing helpers are 1-based, as the FROM-clause rules are
// stated in terms of character positions of the normalised text.

#include <memory>
#include <string>
#include <vector>

#include "framework/field.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr std::size_t kMaxName = 30;
constexpr int kSTRINGBIND = 10;
constexpr int kNameBuffer = 256;

bool IsBlobField(const TField* field) {
  return field->DataType() == ftMemo || field->DataType() == ftBlob;
}

// Tabs and line feeds become blanks, carriage returns go, the rest stays.
std::string NormalizeSpaces(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c == '\r') continue;
    result.push_back(c == '\t' || c == '\n' ? ' ' : c);
  }
  return result;
}

// 1-based position of the last occurrence of needle in text, 0 when none.
std::size_t LastPos(const std::string& needle, const std::string& text) {
  if (needle.size() > text.size()) return 0;
  const std::size_t found = text.rfind(needle);
  return found == std::string::npos ? 0 : found + 1;
}

std::string Cut(std::string s) {
  if (s.size() > kMaxName) s.resize(kMaxName);
  return s;
}

bool IsRefDelimiter(char c) {
  return c == ' ' || c == '(' || c == ',';
}

// Reads one table reference of the FROM clause at Pos (never beyond End):
// its name and an optional alias. A table hint in parentheses after a blank
// is skipped; so is everything after the alias up to the next comma.
struct TableRefReader {
  const std::string& S;
  std::size_t End;

  char At(std::size_t pos) const { return pos >= 1 && pos <= S.size() ? S[pos - 1] : '\0'; }
  std::string Span(std::size_t from, std::size_t to) const {  // [from, to)
    return from < to ? S.substr(from - 1, to - from) : std::string();
  }

  void Read(std::size_t& Pos, std::string& Name, std::string& Alias) const {
    Name.clear();
    Alias.clear();
    if (Pos >= End) return;
    while (Pos <= End && At(Pos) == ' ') {
      ++Pos;
      if (Pos > S.size()) return;
    }
    std::size_t scan = Pos + 1;
    while (scan <= End && !IsRefDelimiter(At(scan))) ++scan;
    Name = Cut(Span(Pos, scan));
    Pos = scan;
    if (At(Pos) == ' ' && Pos < End) {
      while (At(Pos) == ' ' && Pos < End) ++Pos;
      if (At(Pos) == '(') {
        while (Pos <= End && At(Pos) != ',') ++Pos;
      } else {
        std::size_t stop = Pos;
        while (stop <= End && stop <= S.size() && !IsRefDelimiter(At(stop))) ++stop;
        Alias = Cut(Span(Pos, stop));
        Pos = stop;
        while (Pos < End && At(Pos) != ',') ++Pos;
      }
    }
    if (At(Pos) == ',') ++Pos;
  }
};

// The qualifier written before ".FIELD" in the select list, searched in the
// upper-cased statement head; false when the field is never qualified there.
bool FindQualifier(const std::string& prefix, const std::string& upper_prefix,
                   const std::string& field_name, std::string& qualifier) {
  const std::size_t dot = upper_prefix.find("." + AnsiUpperCase(field_name));
  if (dot == std::string::npos) return false;
  std::size_t stop = dot;  // 0-based index of the character before the walk
  while (stop > 0) {
    const char c = prefix[stop - 1];
    if (c == '\n' || c == '\r' || c == ' ' || c == '(' || c == ',') break;
    --stop;
  }
  // A walk that reached the first character keeps it out of the qualifier.
  const std::size_t from = stop == 0 ? 1 : stop;
  qualifier = from < dot ? prefix.substr(from, dot - from) : std::string();
  return true;
}

// Quotes doubled, so that a name cannot end the literal it is written into.
std::string QuoteDoubled(const std::string& name) {
  std::string quoted;
  for (char c : name) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return quoted;
}

// A table name as the catalog holds it: no owner prefix, no brackets.
std::string CatalogName(const std::string& name) {
  std::string bare = name;
  // The last part of owner.table; a dot inside brackets belongs to the name.
  bool bracketed = false;
  std::size_t last_dot = std::string::npos;
  for (std::size_t i = 0; i < bare.size(); ++i) {
    if (bare[i] == '[') bracketed = true;
    if (bare[i] == ']') bracketed = false;
    if (bare[i] == '.' && !bracketed) last_dot = i;
  }
  if (last_dot != std::string::npos) bare = bare.substr(last_dot + 1);
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  return QuoteDoubled(bare);
}

}  // namespace

// --- TlqFieldList -----------------------------------------------------------------

TlqFieldList::~TlqFieldList() {
  for (void* item : List()) delete static_cast<Item*>(item);
  Clear();
}

void TlqFieldList::AddNames(const std::string& FieldName, const std::string& TableName,
                            const std::string& Alias) {
  auto item = std::make_unique<Item>();
  item->TableName = Cut(Trim(TableName));
  item->FieldName = Cut(Trim(FieldName));
  item->Alias = Cut(Trim(Alias));
  Add(item.get());
  item.release();
}

std::string TlqFieldList::FindTableName(const std::string& FieldName) const {
  for (int i = 0; i < Count(); ++i) {
    if (Items(i).FieldName == FieldName) return Items(i).TableName + ".";
  }
  return {};
}

// --- TTessel ------------------------------------------------------------------------

std::string TTessel::LongFieldName(const std::string& FieldName) {
  if (!FBlobTableName.empty()) return FBlobTableName + "." + FieldName;
  if (FFieldList == nullptr) CreateBlobFieldList();
  return FFieldList->FindTableName(FieldName) + FieldName;
}

void TTessel::CreateBlobFieldList() {
  std::vector<std::string> tables;
  std::vector<std::string> aliases;
  // In place at once: a failure below leaves an empty list, so the text is
  // not parsed again until it changes.
  FFieldList = std::make_unique<TlqFieldList>();
  TlqFieldList& list = *FFieldList;

  std::string text;
  for (int i = 0; i < FSQL->Count(); ++i) text += FSQL->Strings(i) + "\r\n";
  const std::string S = NormalizeSpaces(text);
  const std::string U = AnsiUpperCase(S) + " ";

  std::size_t end = S.size();
  for (const char* keyword : {" WHERE ", " GROUP ", " HAVING ", " ORDER ", " COMPUTE ", " FOR "}) {
    const std::size_t found = LastPos(keyword, U);
    if (found != 0) {
      end = found;
      break;
    }
  }
  std::size_t pos = LastPos(" FROM ", U) + 5;
  if (pos < 7) RaiseDatabaseError(SUnableToResolveName);
  const std::string prefix = S.substr(0, pos);

  const TableRefReader reader{S, end};
  std::string name, alias;
  for (reader.Read(pos, name, alias); !name.empty(); reader.Read(pos, name, alias)) {
    tables.push_back(name);
    aliases.push_back(alias);
  }
  if (tables.empty()) RaiseDatabaseError(SUnableToResolveName);

  std::vector<TField*> blob_fields;
  for (TField* field : Fields()->List()) {
    if (IsBlobField(field)) blob_fields.push_back(field);
  }
  if (tables.size() == 1) {
    for (TField* field : blob_fields) list.AddNames(field->FieldName(), tables[0], "");
    return;
  }

  const std::string upper_prefix = AnsiUpperCase(prefix);
  bool ask_catalog = false;
  for (TField* field : blob_fields) {
    std::string qualifier;
    if (!FindQualifier(prefix, upper_prefix, field->FieldName(), qualifier)) {
      ask_catalog = true;
      continue;
    }
    bool matched = false;
    for (std::size_t j = 0; j < tables.size(); ++j) {
      if (aliases[j] == qualifier || tables[j] == qualifier) {
        list.AddNames(field->FieldName(), tables[j], aliases[j]);
        matched = true;
      }
    }
    if (!matched) list.AddNames(field->FieldName(), qualifier, "");
  }
  if (!ask_catalog) return;

  PDBPROCESS process = FDataBaseName->GetBaseProcess();
  dbfreebuf(process);
  dbcmd(process, "select c.name,o.name from sysobjects o, syscolumns c ");
  dbcmd(process, "where c.id=o.id ");
  dbcmd(process, Format("and (o.name='%s' ", {CatalogName(tables[0])}).c_str());
  for (std::size_t k = 1; k < tables.size(); ++k) {
    dbcmd(process, Format("or o.name='%s' ", {CatalogName(tables[k])}).c_str());
  }
  dbcmd(process, ") and (");
  bool first = true;
  for (TField* field : blob_fields) {
    if (!first) dbcmd(process, " or ");
    first = false;
    dbcmd(process, Format("c.name='%s' ", {QuoteDoubled(field->FieldName())}).c_str());
  }
  dbcmd(process, ")");
  CheckDBResult(dbsqlexec(process));
  CheckDBResult(dbresults(process));
  char column_name[kNameBuffer] = {};
  char table_name[kNameBuffer] = {};
  dbbind(process, 1, kSTRINGBIND, 0, reinterpret_cast<DBBYTE*>(column_name));
  dbbind(process, 2, kSTRINGBIND, 0, reinterpret_cast<DBBYTE*>(table_name));
  // The catalog answers with the bare name; the table is kept as the query
  // wrote it, so that a table of another schema (s2.u) is not read as the
  // default schema's table of the same name.
  const auto as_written = [&](const std::string& bare) {
    for (const std::string& table : tables) {
      if (CompareText(CatalogName(table), bare) == 0) return table;
    }
    return bare;
  };
  int row = dbnextrow(process);
  for (; row == REG_ROW; row = dbnextrow(process)) {
    list.AddNames(column_name, as_written(table_name), "");
  }
  // A failed fetch ends the rows; what was read stays, the rest is dropped.
  if (row != NO_MORE_ROWS) dbcancel(process);
  while (dbresults(process) == SUCCEED) {
  }
  if (row != NO_MORE_ROWS) CheckDBResult(FAIL);
}

}  // namespace tessel
