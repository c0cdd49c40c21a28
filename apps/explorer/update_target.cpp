#include "update_target.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "catalog_session.h"
#include "design_texts.h"
#include "framework/field.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel::explorer {

namespace {

// The catalog's column query narrowed to the primary key's columns, and to
// the columns no statement may write (identity, computed).
constexpr const char* kKeyColumns =
    " and exists (select * from sysindexes i join sysindexkeys k on (k.id=i.id and "
    "k.indid=i.indid) where i.id=o.id and (i.status & 2048)<>0 and k.colid=c.colid)";
constexpr const char* kFixedColumns = " and ((c.status & 128)<>0 or c.iscomputed<>0)";

struct Token {
  std::string text;
  std::string upper;
  int depth = 0;
  bool name = false;  // a word or a bracketed name, possibly dotted
};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '@' || c == '#' ||
         c == '$';
}

// Skips a run delimited by close (doubled close stays inside); returns the
// position after it.
std::size_t SkipQuoted(const std::string& sql, std::size_t i, char close) {
  for (++i; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return sql.size();
}

// Words, names, literals (as one "'" token) and punctuation, without
// comments, each with its depth of parentheses.
std::vector<Token> Tokens(const std::string& sql) {
  std::vector<Token> tokens;
  int depth = 0;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      ++i;
    } else if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) i = sql.size();
    } else if (sql.compare(i, 2, "/*") == 0) {
      const std::size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? sql.size() : end + 2;
    } else if (c == '\'' || c == '"') {
      i = SkipQuoted(sql, i, c);
      tokens.push_back({"'", "'", depth, false});
    } else if (c == '[' || IsWordChar(c)) {
      const std::size_t start = i;
      for (;;) {
        if (i < sql.size() && sql[i] == '[') {
          i = SkipQuoted(sql, i, ']');
        } else {
          while (i < sql.size() && IsWordChar(sql[i])) ++i;
        }
        if (i + 1 < sql.size() && sql[i] == '.' && (sql[i + 1] == '[' || IsWordChar(sql[i + 1]))) {
          ++i;
          continue;
        }
        break;
      }
      const std::string text = sql.substr(start, i - start);
      tokens.push_back({text, AnsiUpperCase(text), depth, true});
    } else {
      if (c == ')') --depth;
      tokens.push_back({std::string(1, c), std::string(1, c), depth, false});
      if (c == '(') ++depth;
      ++i;
    }
  }
  return tokens;
}

bool IsOneOf(const std::string& word, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

// The last part of owner.table without its brackets, as the catalog has it.
std::string BareName(const std::string& name) {
  std::size_t last = 0;
  bool bracketed = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '[') bracketed = true;
    if (name[i] == ']') bracketed = false;
    if (name[i] == '.' && !bracketed) last = i + 1;
  }
  std::string bare = name.substr(last);
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
    bare = bare.substr(1, bare.size() - 2);
  return bare;
}

// Generated statements write a column's name as it is, also as a parameter
// name: only plain names survive that.
bool IsPlainName(const std::string& name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) != 0) return false;
  return std::all_of(name.begin(), name.end(), IsWordChar);
}

std::vector<std::string> FirstColumn(TSQLServer* server, const std::string& sql) {
  TTessel query(nullptr);
  query.SetCacheAllRecords(true);
  query.SetSQLServer(server);
  query.SQL()->SetText(sql);
  query.Open();
  std::vector<std::string> values;
  for (query.First(); !query.Eof(); query.Next())
    values.push_back((*query.Fields())[0]->AsString());
  query.Close();
  return values;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return SameText(n, name); });
}

}  // namespace

std::string SingleTable(const std::string& sql, std::string& why) {
  const std::vector<Token> tokens = Tokens(sql);
  if (tokens.empty() || tokens[0].upper != "SELECT") {
    why = "the statement is no SELECT";
    return {};
  }
  std::size_t from = 0;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.depth != 0) continue;
    if (IsOneOf(t.upper, {"JOIN", "APPLY"})) why = "the rows come from a join";
    if (IsOneOf(t.upper, {"UNION", "INTERSECT", "EXCEPT"}))
      why = "the rows come from several SELECTs";
    if (IsOneOf(t.upper, {"GROUP", "DISTINCT", "HAVING", "COMPUTE"}))
      why = "the rows are grouped or distinct";
    if (t.upper == "INTO") why = "the statement is a SELECT INTO";
    if (t.upper == "SELECT" || t.upper == ";") why = "there are several statements";
    if (t.upper == "FROM" && from == 0) from = i;
  }
  if (!why.empty()) return {};
  if (from == 0 || from + 1 >= tokens.size() || !tokens[from + 1].name) {
    why = "the rows come from no table";
    return {};
  }
  std::size_t next = from + 2;
  // A table hint, an alias: then the FROM clause must end.
  if (next < tokens.size() && tokens[next].upper == "(") {
    while (next < tokens.size() && !(tokens[next].depth == 0 && tokens[next].upper == ")")) ++next;
    ++next;
  }
  if (next < tokens.size() && tokens[next].upper == "AS") ++next;
  if (next < tokens.size() && tokens[next].name &&
      !IsOneOf(tokens[next].upper, {"WHERE", "ORDER", "FOR", "OPTION", "WITH"}))
    ++next;
  if (next < tokens.size() && tokens[next].upper == ",") {
    why = "the rows come from several tables";
    return {};
  }
  return tokens[from + 1].text;
}

UpdateTarget FindUpdateTarget(TSQLServer* server, const std::string& sql, TDataSet& result) {
  UpdateTarget target;
  const std::string table = SingleTable(sql, target.why_not);
  if (table.empty()) return target;
  const std::string bare = BareName(table);
  std::vector<std::string> columns, keys, fixed;
  {
    TlqCatalogSession catalog;
    catalog.Begin(server);
    if (!Contains(catalog.Tables(), bare)) {
      target.why_not = bare + " is no table of this database";
      return target;
    }
    columns = catalog.Columns(bare);
  }
  const std::string where = design::kColumnsSQL + QuotedStr(bare);
  keys = FirstColumn(server, where + kKeyColumns);
  fixed = FirstColumn(server, where + kFixedColumns);
  if (keys.empty()) {
    target.why_not = bare + " has no primary key";
    return target;
  }
  for (const std::string& key : keys) {
    const TField* field = result.FindField(key);
    if (field == nullptr || !IsPlainName(field->FieldName())) {
      target.why_not = "the key column " + key + " is not in the result";
      return target;
    }
    target.keys.push_back(field->FieldName());
  }
  for (TField* field : result.Fields()->List()) {
    if (field->FieldKind() != fkData) continue;
    const std::string& name = field->FieldName();
    if (Contains(columns, name) && !Contains(fixed, name) && IsPlainName(name)) {
      target.columns.push_back(name);
    } else {
      field->SetReadOnly(true);
    }
  }
  target.table = table;
  return target;
}

}  // namespace tessel::explorer
