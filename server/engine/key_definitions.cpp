#include "key_definitions.h"

#include "catalog.h"
#include "lexer.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {
namespace {

// Reads a "quoted" name at `p`, moving past it; false when there is none.
bool readQuoted(std::string_view s, std::size_t& p, std::string& out) {
  if (p >= s.size() || s[p] != '"') return false;
  out.clear();
  for (++p; p < s.size(); ++p) {
    if (s[p] == '"') {
      if (p + 1 < s.size() && s[p + 1] == '"') {
        out += '"';
        ++p;
        continue;
      }
      ++p;
      return true;
    }
    out += s[p];
  }
  return false;
}

// Reads ("a", "b") at `p`.
bool readNameList(std::string_view s, std::size_t& p, std::vector<std::string>& out) {
  if (p >= s.size() || s[p] != '(') return false;
  ++p;
  for (;;) {
    std::string name;
    if (!readQuoted(s, p, name)) return false;
    out.push_back(std::move(name));
    if (s.substr(p, 2) == ", ") {
      p += 2;
    } else if (p < s.size() && s[p] == ')') {
      ++p;
      return true;
    } else {
      return false;
    }
  }
}

std::string actionAfter(std::string_view tail, std::string_view word) {
  std::size_t at = tail.find(word);
  if (at == std::string_view::npos) return {};
  std::string_view rest = tail.substr(at + word.size());
  for (const char* action : {"CASCADE", "SET NULL", "SET DEFAULT"})
    if (rest.substr(0, std::string_view(action).size()) == action) return action;
  return {};
}

int actionCode(const std::string& action) {
  return action == "CASCADE" ? 1 : action == "SET NULL" ? 2 : action == "SET DEFAULT" ? 3 : 0;
}

std::string text(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? reinterpret_cast<const char*>(t) : std::string();
}

// The stored table (SQLite name) of the table `tableId` of SQLite schema
// `schema`; empty when there is none.
std::string storedNameOf(sqlite3* db, const std::string& schema, std::int64_t tableId) {
  std::string name;
  int uid = kDboSchemaId;
  querySql(db, "SELECT name, uid FROM " + quoteName(schema) + ".sysobjects WHERE id = ?",
           {Stored::integer(tableId)}, [&](sqlite3_stmt* s) {
             name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
             uid = sqlite3_column_int(s, 1);
           });
  if (name.empty()) return name;
  return storedTableName(uid, Catalog(db).schemaName(schema, uid), name);
}

std::optional<ForeignKeyText> foreignKeyOf(sqlite3* db, const std::string& schema, std::int64_t id,
                                           std::int64_t* refTable) {
  std::string name;
  std::int64_t parent = 0;
  querySql(db,
           "SELECT name, parent_obj, info FROM " + quoteName(schema) +
               ".sysobjects WHERE id = ? AND xtype = 'F '",
           {Stored::integer(id)}, [&](sqlite3_stmt* s) {
             name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
             parent = sqlite3_column_int64(s, 1);
             *refTable = sqlite3_column_int64(s, 2);
           });
  if (name.empty()) return std::nullopt;
  std::string sql;
  querySql(
      db,
      "SELECT sql FROM " + quoteName(schema) + ".sqlite_master WHERE type = 'table' AND name = ?",
      {Stored::text(storedNameOf(db, schema, parent))},
      [&](sqlite3_stmt* s) { sql = reinterpret_cast<const char*>(sqlite3_column_text(s, 0)); });
  return findForeignKey(sql, name);
}

// The id of the unique index of table `refTable` whose key columns are the
// foreign key's referenced columns, in any order; NULL when none is.
std::optional<std::int64_t> keyIndexOf(sqlite3* db, const std::string& schema,
                                       std::int64_t refTable, const ForeignKeyText& fk) {
  const std::string q = quoteName(schema);
  std::optional<std::int64_t> found;
  std::vector<std::int64_t> candidates;
  querySql(
      db,
      "SELECT indid FROM " + q +
          ".sysindexes WHERE id = ? AND status & 2 = 2 AND keycnt = ? ORDER BY indid",
      {Stored::integer(refTable), Stored::integer(static_cast<std::int64_t>(fk.refColumns.size()))},
      [&](sqlite3_stmt* s) { candidates.push_back(sqlite3_column_int64(s, 0)); });
  for (std::int64_t indid : candidates) {
    std::size_t matched = 0;
    querySql(db,
             "SELECT c.name FROM " + q + ".sysindexkeys k JOIN " + q +
                 ".syscolumns c ON c.id = k.id AND c.colid = k.colid AND c.number = 0 "
                 "WHERE k.id = ? AND k.indid = ?",
             {Stored::integer(refTable), Stored::integer(indid)}, [&](sqlite3_stmt* s) {
               std::string column = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
               for (const auto& r : fk.refColumns)
                 if (iequals(r, column)) ++matched;
             });
    if (matched == fk.refColumns.size()) return indid;
  }
  return found;
}

// t_fkattr(schema, constraint id, what, key number): 'column' and
// 'referenced_column' name the key number's columns (NULL past the last),
// 'delete' and 'update' give the action as sys.foreign_keys codes it,
// 'key_index' the referenced table's unique index.
void fnForeignKeyAttribute(sqlite3_context* c, int, sqlite3_value** v) {
  sqlite3* db = sqlite3_context_db_handle(c);
  try {
    std::int64_t refTable = 0;
    auto fk = foreignKeyOf(db, text(v[0]), sqlite3_value_int64(v[1]), &refTable);
    if (!fk) return sqlite3_result_null(c);
    const std::string what = text(v[2]);
    const std::int64_t key = sqlite3_value_int64(v[3]);
    if (what == "column" || what == "referenced_column") {
      const auto& list = what == "column" ? fk->columns : fk->refColumns;
      if (key < 1 || key > static_cast<std::int64_t>(list.size())) return sqlite3_result_null(c);
      const std::string& name = list[static_cast<std::size_t>(key - 1)];
      return sqlite3_result_text(c, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    }
    if (what == "delete") return sqlite3_result_int(c, actionCode(fk->onDelete));
    if (what == "update") return sqlite3_result_int(c, actionCode(fk->onUpdate));
    if (what == "key_index") {
      if (auto indid = keyIndexOf(db, text(v[0]), refTable, *fk))
        return sqlite3_result_int64(c, *indid);
    }
    sqlite3_result_null(c);
  } catch (const std::exception& e) {
    sqlite3_result_error(c, e.what(), -1);
  }
}

// t_indexkeydesc(schema, table id, index id, key number): 1 when the key
// column sorts descending, 0 when ascending, NULL when there is no such key.
void fnIndexKeyDescending(sqlite3_context* c, int, sqlite3_value** v) {
  sqlite3* db = sqlite3_context_db_handle(c);
  try {
    const std::string schema = text(v[0]);
    const std::int64_t table = sqlite3_value_int64(v[1]);
    std::string index;
    querySql(
        db,
        "SELECT name FROM " + quoteName(schema) +
            ".sysindexes WHERE id = ? AND indid = ? AND indid > 0",
        {Stored::integer(table), Stored::integer(sqlite3_value_int64(v[2]))},
        [&](sqlite3_stmt* s) { index = reinterpret_cast<const char*>(sqlite3_column_text(s, 0)); });
    if (index.empty()) return sqlite3_result_null(c);
    // Each index and key is a SQLite index named after its table.
    const std::string stored = storedNameOf(db, schema, table) + "$" + index;
    const std::int64_t key = sqlite3_value_int64(v[3]);
    std::optional<int> descending;
    querySql(db, "SELECT \"desc\" FROM pragma_index_xinfo(?, ?) WHERE seqno = ? AND key = 1",
             {Stored::text(stored), Stored::text(schema), Stored::integer(key - 1)},
             [&](sqlite3_stmt* s) { descending = sqlite3_column_int(s, 0); });
    if (!descending) return sqlite3_result_null(c);
    sqlite3_result_int(c, *descending);
  } catch (const std::exception& e) {
    sqlite3_result_error(c, e.what(), -1);
  }
}

}  // namespace

std::optional<ForeignKeyText> findForeignKey(std::string_view sql, const std::string& name) {
  const std::string head = "CONSTRAINT " + quoteName(name) + " FOREIGN KEY ";
  std::size_t p = sql.find(head);
  if (p == std::string_view::npos) return std::nullopt;
  p += head.size();
  ForeignKeyText fk;
  if (!readNameList(sql, p, fk.columns)) return std::nullopt;
  const std::string_view references = " REFERENCES ";
  if (sql.substr(p, references.size()) != references) return std::nullopt;
  p += references.size();
  std::string table;
  if (!readQuoted(sql, p, table) || sql.substr(p, 1) != " ") return std::nullopt;
  ++p;
  if (!readNameList(sql, p, fk.refColumns)) return std::nullopt;
  // The actions run to the element's end: the next ", " or the closing ")".
  std::size_t end = sql.find_first_of(",)", p);
  std::string_view tail = sql.substr(p, end == std::string_view::npos ? sql.npos : end - p);
  fk.onDelete = actionAfter(tail, " ON DELETE ");
  fk.onUpdate = actionAfter(tail, " ON UPDATE ");
  return fk;
}

void registerKeyFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "t_fkattr", 4, SQLITE_UTF8, nullptr, fnForeignKeyAttribute,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "t_indexkeydesc", 4, SQLITE_UTF8, nullptr, fnIndexKeyDescending,
                             nullptr, nullptr, nullptr);
}

}  // namespace tessel::sqld::engine
