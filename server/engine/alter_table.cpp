// ALTER TABLE ADD, DROP and ALTER COLUMN. SQLite adds and drops columns in
// place; other changes (a column's type or nullability, a check or foreign
// key) rewrite the table's definition in sqlite_schema, which leaves the rows
// as they are stored. Rows already there are checked first, and the whole
// statement runs inside one savepoint: a failure changes nothing.

#include <sqlite3.h>

#include <cctype>

#include "binder.h"
#include "ddl.h"
#include "errors.h"
#include "key_definitions.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// The CREATE TABLE text SQLite keeps for a table, split into its top-level
// elements: columns ("name" TYPE ...) and constraints (CONSTRAINT "name" ...).
class StoredDefinition {
 public:
  StoredDefinition(sqlite3* db, const TableInfo& table) : db_(db), table_(table) {
    querySql(db,
             "SELECT sql FROM " + quoteName(table.schema) +
                 ".sqlite_master WHERE type = 'table' AND name = ?",
             {Stored::text(table.storedName)}, [&](sqlite3_stmt* st) {
               sql_ = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
             });
    split();
  }

  // The element that starts with `prefix` (a quoted column name with a
  // blank, or CONSTRAINT and a quoted name), or null.
  std::string* find(const std::string& prefix) {
    for (auto& e : elements_)
      if (e.rfind(prefix, 0) == 0) return &e;
    return nullptr;
  }
  void add(std::string element) { elements_.push_back(std::move(element)); }
  void remove(const std::string& prefix) {
    std::erase_if(elements_, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
  const std::vector<std::string>& elements() const { return elements_; }

  // Writes the definition back and has the connection read it again.
  void store() {
    std::string sql = head_;
    for (std::size_t i = 0; i < elements_.size(); ++i) sql += (i ? ", " : "") + elements_[i];
    sql += ")";
    const std::string q = quoteName(table_.schema);
    std::int64_t version = 0;
    querySql(db_, "PRAGMA " + q + ".schema_version", {},
             [&](sqlite3_stmt* st) { version = sqlite3_column_int64(st, 0); });
    execSql(db_, "PRAGMA writable_schema = ON");
    try {
      execSql(db_, "UPDATE " + q + ".sqlite_master SET sql = ? WHERE type = 'table' AND name = ?",
              {Stored::text(sql), Stored::text(table_.storedName)});
      execSql(db_, "PRAGMA " + q + ".schema_version = " + std::to_string(version + 1));
    } catch (...) {
      execSql(db_, "PRAGMA writable_schema = RESET");
      throw;
    }
    execSql(db_, "PRAGMA writable_schema = RESET");
  }

 private:
  void split() {
    std::size_t open = sql_.find('(');
    std::size_t close = sql_.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
      throw SqliteFailure(SQLITE_CORRUPT, "unexpected table definition");
    head_ = sql_.substr(0, open + 1);
    int depth = 0;
    char quote = 0;
    std::string current;
    for (std::size_t i = open + 1; i < close; ++i) {
      char ch = sql_[i];
      if (quote) {
        if (ch == quote) quote = 0;
      } else if (ch == '"' || ch == '\'' || ch == '`') {
        quote = ch;
      } else if (ch == '[') {
        quote = ']';
      } else if (ch == '(') {
        ++depth;
      } else if (ch == ')') {
        --depth;
      } else if (ch == ',' && depth == 0) {
        elements_.push_back(trim(current));
        current.clear();
        continue;
      }
      current += ch;
    }
    if (!trim(current).empty()) elements_.push_back(trim(current));
  }
  static std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  }

  sqlite3* db_;
  const TableInfo& table_;
  std::string sql_;
  std::string head_;
  std::vector<std::string> elements_;
};

std::string constraintPrefix(const std::string& name) {
  return "CONSTRAINT " + quoteName(name) + " ";
}

std::string columnPrefix(const std::string& name) {
  return quoteName(name) + " ";
}

}  // namespace

bool Ddl::anyRow(const TableInfo& table, const std::string& condition) {
  bool any = false;
  querySql(s_.db_.get(),
           "SELECT 1 FROM " + table.qualifiedName() + " WHERE " + condition + " LIMIT 1", {},
           [&](sqlite3_stmt*) { any = true; });
  return any;
}

void Ddl::precede(const Message& first) {
  // Inside TRY only the last error reaches CATCH.
  if (s_.tryDepth_ > 0 || !stmt_ || !frame_) return;
  Message m = first;
  m.line = stmt_->line;
  m.procName = frame_->procName;
  s_.out_->message(m);
}

void Ddl::raisePair(const Message& first, SqlError then) {
  precede(first);
  throw then;
}

void Ddl::alterTable(const AlterTableStmt& a) {
  auto table = s_.resolveTable(a.table);
  if (table->xtype != "U") throw SqlError(8197, {table->name});
  atomically(
      [&] {
        switch (a.action) {
          case AlterTableStmt::Action::Add:
            addElements(a, table);
            break;
          case AlterTableStmt::Action::Drop:
            for (const auto& d : a.dropped) {
              s_.catalog_.invalidate();
              auto current = s_.resolveTable(a.table);
              if (d.column) {
                if (!current->column(d.name)) {
                  if (d.ifExists) continue;
                  throw SqlError(4924, {"ALTER TABLE DROP COLUMN", d.name, current->name});
                }
                dropColumn(*current, d.name);
              } else {
                if (d.ifExists && !s_.catalog_.objectId(current->schema, d.name, current->ownerId))
                  continue;
                dropConstraint(*current, d.name);
              }
            }
            break;
          case AlterTableStmt::Action::AlterColumn:
            alterColumn(a, table);
            break;
        }
      },
      true);
}

void Ddl::addElements(const AlterTableStmt& a, const std::shared_ptr<const TableInfo>& table) {
  for (const auto& d : a.added.columns) {
    if (table->column(d.name)) throw SqlError(2705, {d.name, table->name});
    for (const auto& other : a.added.columns)
      if (&other != &d && iequals(other.name, d.name)) throw SqlError(2705, {d.name, table->name});
  }
  for (const auto& d : a.added.columns) {
    s_.catalog_.invalidate();
    addTableColumn(a, d, s_.resolveTable(a.table));
  }
  for (const auto& c : a.added.constraints) {
    s_.catalog_.invalidate();
    addTableConstraint(a, c);
  }
}

void Ddl::addTableColumn(const AlterTableStmt& a, const ColumnDef& d,
                         const std::shared_ptr<const TableInfo>& table) {
  CreateTableStmt one;
  one.columns.push_back(ColumnDef{});
  ColumnDef& copy = one.columns.back();
  copy.name = d.name;
  copy.type = d.type;
  copy.nullSpecified = d.nullSpecified;
  copy.userType = d.userType;
  copy.collate = d.collate;
  TypeInfo type = columnTypes(one, tableCollation(table->database, table->name)).at(0);
  if (d.rowversion)
    for (const auto& c : table->columns)
      if (c.rowversion) throw SqlError(2738, {table->name, d.name});
  if (d.computed) {
    // SQLite adds only computed-on-read columns to a table that exists: a
    // PERSISTED one added later is computed when read, which shows the
    // same values.
    TableInfo stored = *table;
    std::erase_if(stored.columns, [](const ColumnInfo& c) { return c.computed(); });
    one.columns.back().computed = nullptr;
    Typed value = bindComputed(d, stored, one);
    int colid = 0;
    for (const auto& c : table->columns) colid = std::max(colid, c.colid);
    ColumnInfo column = addColumn(d, value.type, false, colid + 1, *table);
    ColumnInfo onRead = column;
    onRead.persisted = false;
    onRead.type.nullable = true;
    execSql(s_.db_.get(), "ALTER TABLE " + table->qualifiedName() + " ADD COLUMN " +
                              columnElement(onRead, value.sql));
    return;
  }
  if (d.identity) {
    if (table->identityColumn >= 0) throw SqlError(2744, {});
    checkIdentityType(d.name, type);
  }
  bool key = false;
  for (const auto& c : a.added.constraints)
    if (c.kind == ConstraintDef::Kind::PrimaryKey)
      for (const auto& col : c.columns) key |= iequals(col, d.name);
  int colid = 0;
  for (const auto& c : table->columns) colid = std::max(colid, c.colid);
  ColumnInfo column = addColumn(d, type, key, colid + 1, *table);
  const bool hasRows = anyRow(*table, "1");
  // A NOT NULL column needs a value for the rows already there.
  if (!column.type.nullable && hasRows && d.defaultText.empty() && !d.identity && !d.rowversion)
    throw SqlError(4901, {d.name, table->name});
  sqlite3* db = s_.db_.get();
  ColumnInfo nullable = column;
  nullable.type.nullable = true;
  execSql(db, "ALTER TABLE " + table->qualifiedName() + " ADD COLUMN " + columnElement(nullable));
  auto withColumn = std::make_shared<TableInfo>(*table);
  withColumn->columns.push_back(column);
  if (hasRows && d.identity) {
    // Rows are numbered in the order they are stored.
    execSql(db, "UPDATE " + table->qualifiedName() + " SET " + quoteName(d.name) + " = " +
                    std::to_string(d.seed) + " + " + std::to_string(d.increment) +
                    " * (SELECT count(*) FROM " + table->qualifiedName() + " o WHERE o.rowid < " +
                    table->qualifiedName() + ".rowid)");
    execSql(db,
            "UPDATE " + quoteName(table->schema) + "._tessel_identity SET current = (SELECT max(" +
                quoteName(d.name) + ") FROM " + table->qualifiedName() + ") WHERE id = ?",
            {Stored::integer(table->id)});
  } else if (d.rowversion) {
    s_.ensureRowversionTable(table->schema);
    if (hasRows)
      execSql(db, "UPDATE " + table->qualifiedName() + " SET " + quoteName(d.name) + " = " +
                      Binder::nextRowversion(*table));
  } else if (hasRows && d.defaultValue && (!column.type.nullable || a.withValues)) {
    Binder binder(s_);
    std::string value =
        binder.columnValueSql(binder.bindTableExpression(*d.defaultValue, *withColumn), column);
    execSql(db, "UPDATE " + table->qualifiedName() + " SET " + quoteName(d.name) + " = " + value);
  }
  if (!column.type.nullable) {
    StoredDefinition def(db, *table);
    std::string* element = def.find(columnPrefix(d.name));
    if (element) *element = columnElement(column);
    def.store();
  }
}

void Ddl::addTableConstraint(const AlterTableStmt& a, const ConstraintDef& c) {
  auto current = s_.resolveTable(a.table);
  auto table = std::make_shared<TableInfo>(*current);
  sqlite3* db = s_.db_.get();
  if (c.kind == ConstraintDef::Kind::Default) {
    const ColumnInfo* column = table->column(c.columns.at(0));
    if (!column) throw SqlError(1752, {c.columns[0], table->name});
    if (!column->defaultText.empty()) {
      raisePair(makeMessage(1781, {c.columns[0], table->name}), SqlError(1750, {}));
    }
    std::int64_t id = s_.catalog_.nextObjectId(table->schema);
    std::string name =
        c.name.empty() ? "DF__" + table->name.substr(0, 8) + "__" + c.columns[0] : c.name;
    if (s_.catalog_.objectId(table->schema, name, table->ownerId)) throw SqlError(2714, {name});
    s_.catalog_.addObject(table->schema, id, name, "D", table->id);
    s_.catalog_.addComment(table->schema, id, storedDefaultText(c.checkText));
    execSql(db,
            "UPDATE " + quoteName(table->schema) +
                ".syscolumns SET cdefault = ? WHERE id = ? AND name = ? COLLATE TSQL_CI",
            {Stored::integer(id), Stored::integer(table->id), Stored::text(column->name)});
    return;
  }
  const bool pk = c.kind == ConstraintDef::Kind::PrimaryKey;
  if (pk || c.kind == ConstraintDef::Kind::Unique) {
    if (pk && !primaryKeyColumns(*table).empty())
      raisePair(makeMessage(1779, {table->name}), SqlError(1750, {}));
    for (const auto& col : c.columns) {
      const ColumnInfo* ci = table->column(col);
      if (!ci) throw SqlError(1911, {col});
      if (pk && ci->type.nullable) raisePair(makeMessage(8111, {table->name}), SqlError(1750, {}));
    }
  }
  // A key clusters unless the table already has its clustered index, which
  // a key that asks for CLUSTERED cannot take over.
  const std::string clusteredName = s_.catalog_.clusteredIndexName(table->schema, table->id);
  if (c.clustered.value_or(false) && !clusteredName.empty())
    raisePair(makeMessage(1902, {table->ownerQualified(), clusteredName}), SqlError(1750, {}));
  const bool clusters =
      (pk || c.kind == ConstraintDef::Kind::Unique) && c.isClustered() && clusteredName.empty();
  int indid = clusters ? 1 : static_cast<int>(s_.catalog_.nextIndexId(table->schema, table->id));
  BuiltConstraint built = addConstraint(c, table, nullptr, indid);
  const bool check = !a.noCheck;
  // A check or foreign key added WITH NOCHECK vouches only for new rows.
  if (!check && (c.kind == ConstraintDef::Kind::Check || c.kind == ConstraintDef::Kind::ForeignKey))
    execSql(db,
            "UPDATE " + quoteName(table->schema) +
                ".sysobjects SET status = status | ? WHERE parent_obj = ? AND name = ?",
            {Stored::integer(kConstraintNotTrustedStatus), Stored::integer(table->id),
             Stored::text(built.name)});
  switch (c.kind) {
    case ConstraintDef::Kind::Check:
      if (check && anyRow(*table, "NOT (" + built.checkSql + ")"))
        throw SqlError(
            547, {"ALTER TABLE", "CHECK", built.name, table->database, table->ownerQualified()});
      break;
    case ConstraintDef::Kind::ForeignKey: {
      std::string condition;
      std::string match;
      for (std::size_t i = 0; i < c.columns.size(); ++i) {
        condition += quoteName(c.columns[i]) + " IS NOT NULL AND ";
        match += std::string(i ? " AND " : "") + "r." + quoteName(built.refColumns[i]) + " = " +
                 table->qualifiedName() + "." + quoteName(c.columns[i]);
      }
      if (check && anyRow(*table, condition + "NOT EXISTS (SELECT 1 FROM " +
                                      built.ref->qualifiedName() + " r WHERE " + match + ")"))
        throw SqlError(547, {"ALTER TABLE", "FOREIGN KEY", built.name, table->database,
                             built.ref->ownerQualified()});
      break;
    }
    case ConstraintDef::Kind::PrimaryKey:
    case ConstraintDef::Kind::Unique: {
      std::string cols;
      for (std::size_t i = 0; i < c.columns.size(); ++i)
        cols += (i ? ", " : "") + quoteName(c.columns[i]);
      std::string duplicate;
      querySql(db,
               "SELECT " + cols + " FROM " + table->qualifiedName() + " GROUP BY " + cols +
                   " HAVING count(*) > 1 LIMIT 1",
               {}, [&](sqlite3_stmt* st) {
                 for (int i = 0; i < sqlite3_column_count(st); ++i) {
                   const unsigned char* v = sqlite3_column_text(st, i);
                   duplicate += (i ? ", " : "") +
                                (v ? std::string(reinterpret_cast<const char*>(v)) : "<NULL>");
                 }
               });
      if (!duplicate.empty())
        raisePair(makeMessage(1505, {table->ownerQualified(), built.name, duplicate}),
                  SqlError(1750, {}));
      createKeyIndex(*table, built.name, c.columns);
      // The clustered key takes indid 1 in place of the heap row.
      if (indid == 1)
        execSql(
            db,
            "DELETE FROM " + quoteName(table->schema) + ".sysindexes WHERE id = ? AND indid = 0",
            {Stored::integer(table->id)});
      return;
    }
    case ConstraintDef::Kind::Default:
      return;
  }
  StoredDefinition def(db, *table);
  def.add(built.element);
  std::vector<std::string> elements = def.elements();
  setDefaultsForForeignKey(*table, c, elements);
  for (const auto& e : elements) {
    std::string prefix = e.substr(0, e.find(' ') + 1);
    if (std::string* mine = def.find(prefix); mine && prefix[0] == '"') *mine = e;
  }
  def.store();
}

void Ddl::dropColumn(const TableInfo& table, const std::string& column) {
  const ColumnInfo* col = table.column(column);
  const std::string q = quoteName(table.schema);
  // Whatever uses the column keeps it: its default, indexes and keys, and
  // checks and foreign keys that name it.
  std::vector<std::pair<std::string, std::string>> dependents;  // kind, name
  querySql(s_.db_.get(),
           "SELECT o.name FROM " + q + ".syscolumns c JOIN " + q +
               ".sysobjects o ON o.id = c.cdefault WHERE c.id = ? AND c.colid = ?",
           {Stored::integer(table.id), Stored::integer(col->colid)}, [&](sqlite3_stmt* st) {
             dependents.emplace_back("object",
                                     reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
           });
  querySql(s_.db_.get(),
           "SELECT DISTINCT i.name, i.status FROM " + q + ".sysindexes i JOIN " + q +
               ".sysindexkeys k ON k.id = i.id AND k.indid = i.indid WHERE i.id = ? AND "
               "k.colid = ?",
           {Stored::integer(table.id), Stored::integer(col->colid)}, [&](sqlite3_stmt* st) {
             // A key constraint is an object; a plain index names itself so.
             bool key = (sqlite3_column_int(st, 1) & 0x1800) != 0;
             dependents.emplace_back(key ? "object" : "index",
                                     reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
           });
  // Computed columns built on it (their text names it as a word).
  for (const auto& other : table.columns) {
    if (!other.computed()) continue;
    const std::string text = lower(other.computedText), name = lower(col->name);
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
      auto word = [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; };
      const std::size_t end = at + name.size();
      if ((at == 0 || !word(text[at - 1])) && (end >= text.size() || !word(text[end]))) {
        dependents.emplace_back("column", other.name);
        break;
      }
    }
  }
  StoredDefinition def(s_.db_.get(), table);
  for (const auto& e : def.elements()) {
    if (e.rfind("CONSTRAINT ", 0) != 0 || e.find(quoteName(col->name)) == std::string::npos)
      continue;
    std::size_t from = std::string("CONSTRAINT ").size();
    std::size_t to = e.find(' ', from);
    std::string quoted = e.substr(from, to - from);
    dependents.emplace_back("object",
                            quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : quoted);
  }
  if (!dependents.empty()) {
    for (const auto& [kind, name] : dependents) precede(makeMessage(5074, {kind, name, col->name}));
    throw SqlError(4922, {"DROP COLUMN", col->name});
  }
  execSql(s_.db_.get(),
          "ALTER TABLE " + table.qualifiedName() + " DROP COLUMN " + quoteName(col->name));
  execSql(s_.db_.get(), "DELETE FROM " + q + ".syscolumns WHERE id = ? AND colid = ?",
          {Stored::integer(table.id), Stored::integer(col->colid)});
  if (col->computed())
    execSql(s_.db_.get(), "DELETE FROM " + q + ".syscomments WHERE id = ? AND number = ?",
            {Stored::integer(table.id), Stored::integer(col->colid)});
}

void Ddl::renameConstraintElement(const std::string& schema, std::int64_t id,
                                  const std::string& from, const std::string& to) {
  TableInfo table;
  table.schema = schema;
  querySql(s_.db_.get(),
           "SELECT p.name, p.uid FROM " + quoteName(schema) + ".sysobjects o JOIN " +
               quoteName(schema) + ".sysobjects p ON p.id = o.parent_obj WHERE o.id = ?",
           {Stored::integer(id)}, [&](sqlite3_stmt* st) {
             const int owner = sqlite3_column_int(st, 1);
             table.storedName =
                 storedTableName(owner, s_.catalog_.schemaName(schema, owner),
                                 reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
           });
  if (table.storedName.empty()) return;
  StoredDefinition def(s_.db_.get(), table);
  const std::string head = "CONSTRAINT " + quoteName(from) + " ";
  std::string* element = def.find(head);
  if (!element) return;
  element->replace(0, head.size(), "CONSTRAINT " + quoteName(to) + " ");
  def.store();
}

void Ddl::dropConstraint(const TableInfo& table, const std::string& name) {
  const std::string q = quoteName(table.schema);
  std::int64_t id = 0;
  std::string xtype;
  std::string realName;
  querySql(s_.db_.get(),
           "SELECT id, xtype, name FROM " + q +
               ".sysobjects WHERE parent_obj = ? AND name = ? COLLATE TSQL_CI AND xtype IN "
               "('C ', 'F ', 'D ', 'PK', 'UQ')",
           {Stored::integer(table.id), Stored::text(name)}, [&](sqlite3_stmt* st) {
             id = sqlite3_column_int64(st, 0);
             xtype = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
             realName = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
           });
  if (!id) raisePair(makeMessage(3728, {name}), SqlError(3727, {}));
  sqlite3* db = s_.db_.get();
  if (xtype == "PK" || xtype == "UQ") {
    // A key another table's foreign key references stays.
    std::string referrer;
    querySql(db,
             "SELECT o.name, t.name, t.uid FROM " + q + ".sysobjects o JOIN " + q +
                 ".sysobjects t ON t.id = o.parent_obj WHERE o.xtype = 'F ' AND o.info = ? AND "
                 "o.parent_obj <> ?",
             {Stored::integer(table.id), Stored::integer(table.id)}, [&](sqlite3_stmt* st) {
               if (!referrer.empty()) return;
               referrer = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
               std::string other = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
               other =
                   s_.catalog_.schemaName(table.schema, sqlite3_column_int(st, 2)) + "." + other;
               if (xtype == "PK")
                 raisePair(makeMessage(3725, {realName, other, referrer}), SqlError(3727, {}));
             });
    std::int64_t indid = -1;
    querySql(db, "SELECT indid FROM " + q + ".sysindexes WHERE id = ? AND name = ?",
             {Stored::integer(table.id), Stored::text(realName)},
             [&](sqlite3_stmt* st) { indid = sqlite3_column_int64(st, 0); });
    execSql(db, "DROP INDEX " + q + "." + quoteName(table.storedName + "$" + realName));
    execSql(db, "DELETE FROM " + q + ".sysindexes WHERE id = ? AND indid = ?",
            {Stored::integer(table.id), Stored::integer(indid)});
    execSql(db, "DELETE FROM " + q + ".sysindexkeys WHERE id = ? AND indid = ?",
            {Stored::integer(table.id), Stored::integer(indid)});
    if (indid == 1) s_.catalog_.addIndex(table.schema, table.id, 0, table.name, 0, {});
  } else if (xtype == "D ") {
    execSql(db, "UPDATE " + q + ".syscolumns SET cdefault = 0 WHERE id = ? AND cdefault = ?",
            {Stored::integer(table.id), Stored::integer(id)});
  } else {
    StoredDefinition def(db, table);
    def.remove(constraintPrefix(realName));
    def.store();
  }
  s_.catalog_.dropObject(table.schema, id);
}

void Ddl::alterColumn(const AlterTableStmt& a, const std::shared_ptr<const TableInfo>& table) {
  const ColumnDef& d = a.added.columns.at(0);
  const ColumnInfo* old = table->column(d.name);
  if (!old) throw SqlError(4924, {"ALTER TABLE ALTER COLUMN", d.name, table->name});
  if (old->computed()) throw SqlError(4928, {old->name, "COMPUTED"});
  CreateTableStmt one;
  one.columns.push_back(ColumnDef{});
  one.columns.back().name = d.name;
  one.columns.back().type = d.type;
  one.columns.back().nullSpecified = d.nullSpecified;
  one.columns.back().userType = d.userType;
  one.columns.back().collate = d.collate;
  ColumnInfo column = *old;
  // Without COLLATE the column takes its table's default, as a new one would.
  column.type = columnTypes(one, tableCollation(table->database, table->name)).at(0);
  if (!d.nullSpecified && d.userType.empty()) column.type.nullable = s_.settings_.ansiNullDefault;
  if (old->identity) column.type.nullable = false;
  const std::string q = quoteName(table->schema);
  sqlite3* db = s_.db_.get();
  // An indexed column keeps its type and collation (its index is ordered by
  // it); its nullability may change.
  const bool retyped =
      typeDisplayName(column.type) != typeDisplayName(old->type) ||
      (isCharType(column.type.type) && column.type.collation != old->type.collation);
  if (retyped) {
    std::string index;
    const char* kind = "index";
    querySql(db,
             "SELECT i.name, i.status FROM " + q + ".sysindexes i JOIN " + q +
                 ".sysindexkeys k ON k.id = i.id AND k.indid = i.indid WHERE i.id = ? AND "
                 "k.colid = ?",
             {Stored::integer(table->id), Stored::integer(old->colid)}, [&](sqlite3_stmt* st) {
               index = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
               if (sqlite3_column_int(st, 1) & 0x1800) kind = "object";
             });
    if (!index.empty())
      raisePair(makeMessage(5074, {kind, index, old->name}),
                SqlError(4922, {"ALTER COLUMN", old->name}));
  }
  // A value longer than the new size is an error, not a shortened value.
  if ((isCharType(column.type.type) || isBinaryType(column.type.type)) &&
      !isLargeType(column.type.type) && !isMaxType(column.type)) {
    std::string value = quoteName(old->name);
    if (isCharType(column.type.type)) value = "rtrim(" + value + ")";
    if (anyRow(*table, "length(" + value + ") > " + std::to_string(charLength(column.type))))
      throw SqlError(8152, {});
  }
  if (!column.type.nullable && anyRow(*table, quoteName(old->name) + " IS NULL"))
    throw SqlError(515, {old->name, table->database + "." + table->ownerQualified(), "UPDATE"});
  // The catalog row is made again with the new type, keeping its id and default.
  std::int64_t defaultId = 0;
  querySql(db, "SELECT cdefault FROM " + q + ".syscolumns WHERE id = ? AND colid = ?",
           {Stored::integer(table->id), Stored::integer(old->colid)},
           [&](sqlite3_stmt* st) { defaultId = sqlite3_column_int64(st, 0); });
  execSql(db, "DELETE FROM " + q + ".syscolumns WHERE id = ? AND colid = ?",
          {Stored::integer(table->id), Stored::integer(old->colid)});
  s_.catalog_.addColumn(table->schema, table->id, column, defaultId);
  StoredDefinition def(db, *table);
  if (std::string* element = def.find(columnPrefix(old->name))) *element = columnElement(column);
  def.store();
  if (retyped) {
    // Values take the new type as an assignment would convert them.
    Binder binder(s_);
    Expr ref;
    ref.kind = ExprKind::Column;
    ref.names = {old->name};
    std::string value = binder.columnValueSql(binder.bindTableExpression(ref, *table), column);
    execSql(db, "UPDATE " + table->qualifiedName() + " SET " + quoteName(old->name) + " = " +
                    value + " WHERE " + quoteName(old->name) + " IS NOT NULL");
  }
}

}  // namespace tessel::sqld::engine
