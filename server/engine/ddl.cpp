#include "ddl.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>

#include "binder.h"
#include "collations.h"
#include "computed_text.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

constexpr std::uint16_t kCmdCreate = 0xC6;
constexpr std::uint16_t kCmdDrop = 0xC7;

std::string storageClause(const TypeInfo& t) {
  if (isCharType(t.type) || t.type == SqlType::UniqueIdentifier)
    return "TEXT" + collateClause(t.collation);
  if (isBinaryType(t.type)) return "BLOB";
  if (t.type == SqlType::Real || t.type == SqlType::Float) return "REAL";
  return "INTEGER";
}

// SQL Server's generated constraint names: PK__orders__1A2B3C4D.
std::string generatedName(const char* prefix, const std::string& table, std::int64_t id) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08llX",
                static_cast<unsigned long long>(id * 2654435761u & 0xFFFFFFFF));
  return std::string(prefix) + "__" + table.substr(0, 8) + "__" + hex;
}

// Whether parentheses at both ends of `t` enclose all of it.
bool enclosed(std::string_view t) {
  if (t.size() < 2 || t.front() != '(' || t.back() != ')') return false;
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    char ch = t[i];
    if (quote) {
      if (ch == quote) quote = 0;
    } else if (ch == '\'' || ch == '"' || ch == '[') {
      quote = ch == '[' ? ']' : ch;
    } else if (ch == '(') {
      ++depth;
    } else if (ch == ')' && --depth == 0 && i + 1 < t.size()) {
      return false;
    }
  }
  return true;
}

bool isNumber(std::string_view t) {
  std::size_t i = t.empty() || (t[0] != '-' && t[0] != '+') ? 0 : 1;
  bool digits = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      digits = true;
    } else if (t[i] != '.') {
      return false;
    }
  }
  return digits;
}

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
  return t;
}

}  // namespace

std::string storedDefaultText(std::string_view text) {
  std::string_view t = trimmed(text);
  while (enclosed(t)) t = trimmed(t.substr(1, t.size() - 2));
  return isNumber(t) ? "((" + std::string(t) + "))" : "(" + std::string(t) + ")";
}

template <typename F>
void Ddl::atomically(F&& body) {
  sqlite3* db = s_.db_.get();
  const bool outermost = sqlite3_get_autocommit(db);
  try {
    execSql(db, "SAVEPOINT tessel_ddl");
  } catch (const SqliteFailure& e) {
    throw s_.translate(e.code(), e.what(), nullptr, "CREATE");
  }
  try {
    body();
    s_.releaseSavepoint("tessel_ddl", outermost);
  } catch (const SqliteFailure& e) {
    sqlite3_exec(db, "ROLLBACK TO tessel_ddl; RELEASE tessel_ddl", nullptr, nullptr, nullptr);
    s_.catalog_.invalidate();
    throw s_.translate(e.code(), e.what(), nullptr, "CREATE");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK TO tessel_ddl; RELEASE tessel_ddl", nullptr, nullptr, nullptr);
    s_.catalog_.invalidate();
    throw;
  }
  s_.catalog_.invalidate();
}

// For the steps in other files, which do not see the template's body.
void Ddl::atomically(const std::function<void()>& body, bool) {
  atomically(body);
}

std::string Ddl::schemaOf(const Name& name, std::string* database) {
  if (!name.empty() && isSessionTempName(name.back())) {
    s_.requireTempdb("tempdb");
    if (database) *database = "tempdb";
    return "temp";
  }
  std::string db = name.size() >= 3 ? name[name.size() - 3] : std::string();
  if (db.empty()) db = s_.currentDb_;
  if (!name.empty() && isGlobalTempName(name.back())) db = "tempdb";
  s_.attach(db);
  db = s_.engine_.canonicalName(db);
  if (database) *database = db;
  return db;
}

int Ddl::ownerOf(const Name& name, const std::string& schema) {
  const int owner = s_.ownerOfName(name, schema);
  if (!owner) throw SqlError(2760, {name[name.size() - 2]});
  return owner;
}

void Ddl::run(const Stmt& stmt, Frame& frame) {
  try {
    runStatement(stmt, frame);
  } catch (const SqlError& e) {
    // A constraint of a new table or table type on a column it does not
    // have, or a second clustered key: that error, then the statement's own.
    if ((e.message().number != 1911 && e.message().number != 8112) ||
        (stmt.kind != StmtKind::CreateTable && stmt.kind != StmtKind::CreateType))
      throw;
    if (s_.tryFrames_.empty()) {
      Message m = e.message();
      m.line = stmt.line;
      m.procName = frame.procName;
      s_.out_->message(m);
    }
    throw SqlError(1750, {});
  }
}

void Ddl::runStatement(const Stmt& stmt, Frame& frame) {
  switch (stmt.kind) {
    case StmtKind::CreateTable:
      createTable(static_cast<const CreateTableStmt&>(stmt));
      break;
    case StmtKind::CreateIndex:
      createIndex(static_cast<const CreateIndexStmt&>(stmt));
      break;
    case StmtKind::CreateView:
      createView(static_cast<const CreateViewStmt&>(stmt));
      break;
    case StmtKind::CreateProc:
      createProc(static_cast<const CreateProcStmt&>(stmt));
      break;
    case StmtKind::CreateTrigger:
      createTrigger(static_cast<const CreateTriggerStmt&>(stmt));
      break;
    case StmtKind::EnableTrigger:
      enableTriggers(static_cast<const EnableTriggerStmt&>(stmt));
      break;
    case StmtKind::CreateSchema:
      createSchema(static_cast<const CreateSchemaStmt&>(stmt));
      break;
    case StmtKind::CreateType:
      createType(static_cast<const CreateTypeStmt&>(stmt));
      break;
    case StmtKind::CreateDatabase: {
      const auto& c = static_cast<const CreateDatabaseStmt&>(stmt);
      stmt_ = &stmt;
      frame_ = &frame;
      if (c.alter)
        alterDatabase(c);
      else
        s_.engine_.createDatabase(c.name, databaseCollationId(c.collation));
      break;
    }
    case StmtKind::Drop:
      drop(static_cast<const DropStmt&>(stmt));
      break;
    case StmtKind::AlterTable:
      stmt_ = &stmt;
      frame_ = &frame;
      alterTable(static_cast<const AlterTableStmt&>(stmt));
      break;
    case StmtKind::Truncate:
      truncate(static_cast<const TruncateStmt&>(stmt));
      break;
    default:
      break;
  }
  s_.statementDone(s_.doneKind(frame), stmt.kind == StmtKind::Drop ? kCmdDrop : kCmdCreate, false,
                   0);
}

void Ddl::createTable(const CreateTableStmt& t, const Name* as) {
  std::string database;
  const Name& tableName = as ? *as : t.name;
  std::string schema = schemaOf(tableName, &database);
  const std::string& name = tableName.back();
  const int owner = ownerOf(tableName, schema);
  // A table variable's text columns take the current database's collation,
  // a #table's tempdb's.
  const std::uint16_t collation = as ? s_.currentCollation_ : tableCollation(database, name);
  std::vector<TypeInfo> types = checkNewTable(t, schema, name, as != nullptr, owner, collation);
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = cat.nextObjectId(schema);
    cat.addObject(schema, id, name, "U", 0, owner);
    auto table = std::make_shared<TableInfo>();
    table->id = id;
    table->name = name;
    table->schema = schema;
    table->database = database;
    table->ownerId = owner;
    table->owner = cat.schemaName(schema, owner);
    table->storedName = storedTableName(owner, table->owner, name);
    table->xtype = "U";
    // Computed columns are typed by their expressions over the other columns.
    std::vector<ColumnInfo> columns(t.columns.size());
    TableInfo stored = *table;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (t.columns[i].computed) continue;
      columns[i] = addColumn(t.columns[i], types[i], inPrimaryKey(t, t.columns[i].name),
                             static_cast<int>(i + 1), *table);
      stored.columns.push_back(columns[i]);
    }
    std::vector<std::string> generated(t.columns.size());
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].computed) continue;
      Typed value = bindComputed(t.columns[i], stored, t);
      generated[i] = value.sql;
      columns[i] = addColumn(t.columns[i], value.type, false, static_cast<int>(i + 1), *table);
    }
    table->columns = std::move(columns);
    if (std::any_of(t.columns.begin(), t.columns.end(),
                    [](const ColumnDef& d) { return d.rowversion; }))
      s_.ensureRowversionTable(schema);
    std::vector<std::string> elements;
    for (std::size_t i = 0; i < table->columns.size(); ++i)
      elements.push_back(columnElement(table->columns[i], generated[i]));
    std::vector<std::pair<std::string, const ConstraintDef*>> keys;
    int keyNo = 0;
    bool clustered = false;
    for (const auto& c : t.constraints) {
      const bool key =
          c.kind == ConstraintDef::Kind::PrimaryKey || c.kind == ConstraintDef::Kind::Unique;
      // The clustered key takes indid 1; the others follow from 2.
      const bool clusters = key && c.isClustered();
      if (clusters && clustered) throw SqlError(8112, {name});
      clustered = clustered || clusters;
      const int indid = clusters ? 1 : 2 + (key ? keyNo++ : 0);
      BuiltConstraint built = addConstraint(c, table, &t.constraints, indid);
      if (!built.element.empty()) elements.push_back(built.element);
      if (key) keys.emplace_back(built.name, &c);
    }
    for (const auto& c : t.constraints) setDefaultsForForeignKey(*table, c, elements);
    std::string sql = "CREATE TABLE " + table->qualifiedName() + " (";
    for (std::size_t i = 0; i < elements.size(); ++i) sql += (i ? ", " : "") + elements[i];
    execSql(s_.db_.get(), sql + ")");
    for (const auto& [kname, c] : keys) createKeyIndex(*table, kname, c->columns);
    // A table without a clustered key still has its heap row (indid 0).
    if (!clustered) cat.addIndex(schema, id, 0, name, 0, {});
    if (isGlobalTempName(name)) {
      std::int64_t created = 0;
      querySql(s_.db_.get(), "SELECT crdate FROM tempdb.sysobjects WHERE id = ?",
               {Stored::integer(id)},
               [&](sqlite3_stmt* st) { created = sqlite3_column_int64(st, 0); });
      s_.globalTemps_.push_back({name, id, created});
    }
  });
}

std::vector<TypeInfo> Ddl::checkNewTable(const CreateTableStmt& t, const std::string& schema,
                                         const std::string& name, bool variable, int owner,
                                         std::uint16_t collation) {
  if (name.size() > 128) throw SqlError(103, {name});
  // A #table's name is padded to 128 characters with a 12-character suffix
  // that sets it apart from other sessions' tables of the same name.
  constexpr std::size_t kLocalTempNameMax = 116;
  if (!variable && name.size() > kLocalTempNameMax && name.rfind("#", 0) == 0 &&
      name.rfind("##", 0) != 0)
    throw SqlError(193, {name, std::to_string(kLocalTempNameMax)});
  if (s_.catalog_.objectId(schema, name, owner)) throw SqlError(2714, {name});
  // Column names must be unique.
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    for (std::size_t k = 0; k < i; ++k)
      if (iequals(t.columns[i].name, t.columns[k].name))
        throw SqlError(2705, {t.columns[i].name, name});
  std::vector<TypeInfo> types = columnTypes(t, collation);
  int identities = 0;
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (t.columns[i].identity) {
      ++identities;
      checkIdentityType(t.columns[i].name, types[i]);
    }
  if (identities > 1) throw SqlError(2744, {});
  bool rowversion = false;
  for (const auto& c : t.columns) {
    if (c.rowversion && rowversion) throw SqlError(2738, {name, c.name});
    rowversion |= c.rowversion;
  }
  return types;
}

void Ddl::checkIdentityType(const std::string& column, const TypeInfo& type) {
  if (!isExactType(type.type) || (isDecimalType(type.type) && type.scale != 0) ||
      type.type == SqlType::Bit || isMoneyType(type.type))
    throw SqlError(2749, {column});
}

bool Ddl::inPrimaryKey(const CreateTableStmt& t, const std::string& column) {
  for (const auto& c : t.constraints)
    if (c.kind == ConstraintDef::Kind::PrimaryKey)
      for (const auto& col : c.columns)
        if (iequals(col, column)) return true;
  return false;
}

ColumnInfo Ddl::addColumn(const ColumnDef& d, const TypeInfo& type, bool key, int colid,
                          const TableInfo& table) {
  Catalog& cat = s_.catalog_;
  ColumnInfo c;
  c.name = d.name;
  c.type = type;
  // Nullability follows ANSI_NULL_DFLT_ON when not given (an alias type
  // brings its own); identity and key columns are never nullable.
  if (!d.nullSpecified && d.userType.empty()) c.type.nullable = s_.settings_.ansiNullDefault;
  if (d.identity || key) c.type.nullable = false;
  // A timestamp column is NOT NULL unless NULL is written; a computed column
  // allows NULL as its expression does, unless NOT NULL is written.
  if (d.rowversion && !d.nullSpecified) c.type.nullable = false;
  if (d.computed) c.type.nullable = d.nullSpecified ? d.type.nullable : type.nullable;
  c.colid = colid;
  c.identity = d.identity;
  c.rowversion = d.rowversion;
  if (d.computed) {
    std::string text = d.computedText;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    c.computedText = computedDefinition(*d.computed, text);
    c.persisted = d.persisted;
  }
  c.ansiPadded = s_.settings_.ansiPadding;
  std::int64_t defaultId = 0;
  if (!d.defaultText.empty()) {
    defaultId = cat.nextObjectId(table.schema);
    std::string name =
        d.defaultName.empty() ? generatedName("DF", table.name, defaultId) : d.defaultName;
    if (cat.objectId(table.schema, name, table.ownerId)) throw SqlError(2714, {name});
    cat.addObject(table.schema, defaultId, name, "D", table.id);
    c.defaultText = storedDefaultText(d.defaultText);
    cat.addComment(table.schema, defaultId, c.defaultText);
  }
  cat.addColumn(table.schema, table.id, c, defaultId);
  if (d.identity) cat.setIdentity(table.schema, table.id, d.seed, d.increment);
  return c;
}

std::string Ddl::columnElement(const ColumnInfo& c, const std::string& generated) {
  std::string element = quoteName(c.name) + " " + storageClause(c.type);
  if (!generated.empty())
    element += " GENERATED ALWAYS AS (" + generated + ")" + (c.persisted ? " STORED" : " VIRTUAL");
  return element + (c.type.nullable ? "" : " NOT NULL");
}

Typed Ddl::bindComputed(const ColumnDef& d, const TableInfo& stored, const CreateTableStmt& t) {
  Binder binder(s_);
  try {
    Typed value = binder.bindTableExpression(*d.computed, stored);
    // The time, RAND() and NEWID() change from statement to statement: such
    // a column is computed when read and cannot be PERSISTED.
    const bool volatileValue = value.sql.find("t_now") != std::string::npos ||
                               value.sql.find("t_rand(") != std::string::npos ||
                               value.sql.find("t_newid(") != std::string::npos;
    if (volatileValue && d.persisted) throw SqlError(4936, {d.name, stored.name});
    for (const char* name : {"t_now(", "t_now2(", "t_rand(", "t_error("}) {
      const std::string from = name;
      const std::string to = from.substr(0, from.size() - 1) + "_computed(";
      for (std::size_t at = value.sql.find(from); at != std::string::npos;
           at = value.sql.find(from, at + to.size()))
        value.sql.replace(at, from.size(), to);
    }
    return value;
  } catch (const SqlError& e) {
    // A name that is another computed column of the table: computed columns
    // build on stored columns only.
    if (e.message().number == 207)
      for (const auto& other : t.columns)
        if (other.computed && e.message().text.find("'" + other.name + "'") != std::string::npos)
          throw SqlError(1759, {other.name, stored.name});
    throw;
  }
}

Ddl::BuiltConstraint Ddl::addConstraint(const ConstraintDef& c,
                                        const std::shared_ptr<TableInfo>& table,
                                        const std::vector<ConstraintDef>* siblings, int indid) {
  Catalog& cat = s_.catalog_;
  const std::string& schema = table->schema;
  const std::string& name = table->name;
  BuiltConstraint built;
  const char* prefix = c.kind == ConstraintDef::Kind::Check        ? "CK"
                       : c.kind == ConstraintDef::Kind::ForeignKey ? "FK"
                       : c.kind == ConstraintDef::Kind::PrimaryKey ? "PK"
                       : c.kind == ConstraintDef::Kind::Unique     ? "UQ"
                                                                   : "DF";
  std::int64_t cid = cat.nextObjectId(schema);
  built.name = c.name.empty() ? generatedName(prefix, name, cid) : c.name;
  if (cat.objectId(schema, built.name, table->ownerId)) throw SqlError(2714, {built.name});
  switch (c.kind) {
    case ConstraintDef::Kind::Check: {
      Binder binder(s_);
      built.checkSql = binder.bindTableExpression(*c.check, *table).sql;
      built.element = "CONSTRAINT " + quoteName(built.name) + " CHECK (" + built.checkSql + ")";
      cat.addObject(schema, cid, built.name, "C", table->id);
      cat.addComment(schema, cid, "(" + c.checkText + ")");
      // A CHECK written with its column keeps the column's id, as SQL Server
      // keeps it in sysconstraints.colid.
      if (!c.columns.empty()) {
        if (const int i = table->columnIndex(c.columns[0]); i >= 0)
          execSql(s_.db_.get(),
                  "UPDATE " + quoteName(schema) + ".sysobjects SET info = ? WHERE id = ?",
                  {Stored::integer(table->columns[static_cast<std::size_t>(i)].colid),
                   Stored::integer(cid)});
      }
      break;
    }
    case ConstraintDef::Kind::ForeignKey: {
      std::string refDb;
      std::string refSchema = schemaOf(c.refTable, &refDb);
      if (refSchema != schema) throw SqlError(1763, {});
      const int refOwner = s_.ownerOfName(c.refTable, refSchema);
      bool self = iequals(c.refTable.back(), name) && refOwner == table->ownerId;
      built.ref = self       ? table
                  : refOwner ? cat.table(refSchema, refDb, c.refTable.back(), refOwner)
                             : nullptr;
      if (!built.ref) throw SqlError(1767, {c.refTable.back()});
      built.refColumns = c.refColumns;
      if (built.refColumns.empty() && self && siblings)
        for (const auto& k : *siblings)
          if (k.kind == ConstraintDef::Kind::PrimaryKey) built.refColumns = k.columns;
      if (built.refColumns.empty()) built.refColumns = primaryKeyColumns(*built.ref);
      if (built.refColumns.size() != c.columns.size()) throw SqlError(1767, {c.refTable.back()});
      built.element = "CONSTRAINT " + quoteName(built.name) + " FOREIGN KEY (";
      for (std::size_t i = 0; i < c.columns.size(); ++i)
        built.element += (i ? ", " : "") + quoteName(c.columns[i]);
      built.element += ") REFERENCES " + quoteName(built.ref->storedName) + " (";
      for (std::size_t i = 0; i < built.refColumns.size(); ++i)
        built.element += (i ? ", " : "") + quoteName(built.refColumns[i]);
      built.element += ")";
      if (!c.onDelete.empty()) built.element += " ON DELETE " + c.onDelete;
      if (!c.onUpdate.empty()) built.element += " ON UPDATE " + c.onUpdate;
      cat.addObject(schema, cid, built.name, "F", table->id);
      execSql(s_.db_.get(), "UPDATE " + quoteName(schema) + ".sysobjects SET info = ? WHERE id = ?",
              {Stored::integer(built.ref->id), Stored::integer(cid)});
      break;
    }
    case ConstraintDef::Kind::PrimaryKey:
    case ConstraintDef::Kind::Unique: {
      bool pk = c.kind == ConstraintDef::Kind::PrimaryKey;
      cat.addObject(schema, cid, built.name, pk ? "PK" : "UQ", table->id);
      std::vector<int> colids;
      for (const auto& col : c.columns) {
        const ColumnInfo* ci = table->column(col);
        if (!ci) throw SqlError(1911, {col});
        colids.push_back(ci->colid);
      }
      cat.addIndex(schema, table->id, indid, built.name,
                   2 | (pk ? 0x800 : 0x1000) | (indid == 1 ? kClusteredIndexStatus : 0), colids);
      break;
    }
    case ConstraintDef::Kind::Default:
      break;
  }
  return built;
}

std::vector<std::string> Ddl::primaryKeyColumns(const TableInfo& table) {
  std::vector<std::string> columns;
  const std::string q = quoteName(table.schema);
  querySql(s_.db_.get(),
           "SELECT c.name FROM " + q + ".sysindexes i JOIN " + q +
               ".sysindexkeys k ON k.id = i.id AND k.indid = i.indid JOIN " + q +
               ".syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE i.id = ? AND "
               "(i.status & 2048) <> 0 ORDER BY k.keyno",
           {Stored::integer(table.id)}, [&](sqlite3_stmt* st) {
             columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
           });
  return columns;
}

void Ddl::createKeyIndex(const TableInfo& table, const std::string& name,
                         const std::vector<std::string>& columns) {
  std::string idx = "CREATE UNIQUE INDEX " + quoteName(table.schema) + "." +
                    quoteName(table.storedName + "$" + name) + " ON " +
                    quoteName(table.storedName) + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) idx += (i ? ", " : "") + quoteName(columns[i]);
  execSql(s_.db_.get(), idx + ")");
}

void Ddl::setDefaultsForForeignKey(const TableInfo& table, const ConstraintDef& c,
                                   std::vector<std::string>& elements) {
  // ON DELETE / UPDATE SET DEFAULT takes SQLite's own column default: a
  // column with a constant default gets it there too.
  if (c.kind != ConstraintDef::Kind::ForeignKey ||
      (c.onDelete != "SET DEFAULT" && c.onUpdate != "SET DEFAULT"))
    return;
  for (const auto& col : c.columns) {
    int i = table.columnIndex(col);
    if (i < 0 || table.columns[static_cast<std::size_t>(i)].defaultText.empty()) continue;
    const ColumnInfo& info = table.columns[static_cast<std::size_t>(i)];
    std::string value = constantDefault(table, info);
    if (value.empty()) continue;
    for (auto& e : elements)
      if (e.rfind(quoteName(info.name) + " ", 0) == 0 && e.find(" DEFAULT ") == std::string::npos)
        e += " DEFAULT " + value;
  }
}

std::string Ddl::constantDefault(const TableInfo& table, const ColumnInfo& column) {
  // Evaluated once: SQLite keeps it as a literal.
  Binder binder(s_);
  Batch b = parseBatch("SELECT " + column.defaultText, false);
  const auto& q = static_cast<const QueryStmt&>(*b.statements.at(0));
  if (q.select->items.size() != 1 || !q.select->items[0].expr ||
      q.select->items[0].expr->kind != ExprKind::Literal)
    return {};
  std::string sql =
      binder.columnValueSql(binder.bindTableExpression(*q.select->items[0].expr, table), column);
  std::string literal;
  querySql(s_.db_.get(), "SELECT quote(" + sql + ")", {}, [&](sqlite3_stmt* st) {
    literal = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  });
  return literal;
}

std::shared_ptr<const TableInfo> Ddl::createTableFrom(const Name& n,
                                                      const std::vector<ColumnInfo>& columns,
                                                      std::int64_t seed, std::int64_t increment) {
  CreateTableStmt t;
  t.name = n;
  for (const auto& c : columns) {
    ColumnDef d;
    d.name = c.name;
    d.type = c.type;
    // Text keeps the collation its values had.
    if (isCharType(c.type.type)) d.collate = collationName(c.type.collation);
    d.nullSpecified = true;
    // SELECT INTO keeps the identity property of a copied identity column.
    d.identity = c.identity;
    d.rowversion = c.rowversion;
    d.seed = seed;
    d.increment = increment;
    if (d.identity) d.type.nullable = false;
    t.columns.push_back(std::move(d));
  }
  createTable(t);
  std::string database;
  std::string schema = schemaOf(n, &database);
  return s_.catalog_.table(schema, database, n.back(), ownerOf(n, schema));
}

void Ddl::createIndex(const CreateIndexStmt& t) {
  auto table = s_.resolveTable(t.table);
  if (table->xtype != "U") throw SqlError(1939, {});
  const std::string& schema = table->schema;
  bool exists = false;
  querySql(s_.db_.get(),
           "SELECT 1 FROM " + quoteName(schema) +
               ".sysindexes WHERE id = ? AND name = ? COLLATE TSQL_CI",
           {Stored::integer(table->id), Stored::text(t.name)},
           [&](sqlite3_stmt*) { exists = true; });
  if (exists) throw SqlError(1913, {t.name, table->name});
  std::vector<int> colids;
  for (const auto& c : t.columns) {
    const ColumnInfo* ci = table->column(c);
    if (!ci) throw SqlError(1911, {c});
    colids.push_back(ci->colid);
  }
  atomically([&] {
    std::string sql = std::string("CREATE ") + (t.unique ? "UNIQUE " : "") + "INDEX " +
                      quoteName(schema) + "." + quoteName(table->storedName + "$" + t.name) +
                      " ON " + quoteName(table->storedName) + " (";
    for (std::size_t i = 0; i < t.columns.size(); ++i)
      sql += (i ? ", " : "") + quoteName(t.columns[i]) +
             (i < t.descending.size() && t.descending[i] ? " DESC" : "");
    execSql(s_.db_.get(), sql + ")");
    int indid = static_cast<int>(s_.catalog_.nextIndexId(schema, table->id));
    if (t.clustered) {
      if (std::string other = s_.catalog_.clusteredIndexName(schema, table->id); !other.empty())
        throw SqlError(1902, {table->ownerQualified(), other});
      // The clustered index takes indid 1 in place of the heap row.
      execSql(s_.db_.get(),
              "DELETE FROM " + quoteName(schema) + ".sysindexes WHERE id = ? AND indid = 0",
              {Stored::integer(table->id)});
      indid = 1;
    }
    s_.catalog_.addIndex(schema, table->id, indid, t.name,
                         (t.unique ? 2 : 0) | (t.clustered ? kClusteredIndexStatus : 0), colids);
  });
}

void Ddl::createView(const CreateViewStmt& v) {
  std::string database;
  std::string schema = schemaOf(v.name, &database);
  const std::string& name = v.name.back();
  const int owner = ownerOf(v.name, schema);
  const std::int64_t replaced = replacedModule(schema, name, "V ", v.alter, v.orAlter, owner);
  Binder binder(s_);
  const int outerOwner = s_.setViewOwner(owner);
  BoundStatement b;
  try {
    b = binder.bindSelect(*v.select);
  } catch (...) {
    s_.setViewOwner(outerOwner);
    throw;
  }
  s_.setViewOwner(outerOwner);
  if (!v.columns.empty() && v.columns.size() != b.columns.size()) throw SqlError(8159, {name});
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = replaced;
    if (id) {
      clearModule(schema, id);
    } else {
      id = cat.nextObjectId(schema);
      cat.addObject(schema, id, name, "V", 0, owner);
    }
    cat.addComment(schema, id, v.text);
    cat.setQuotedIdentifier(schema, id, s_.settings_.quotedIdentifier);
    for (std::size_t i = 0; i < b.columns.size(); ++i) {
      ColumnInfo c;
      c.name = i < v.columns.size() ? v.columns[i] : b.columns[i].name;
      if (c.name.empty()) throw SqlError(4511, {name});
      c.type = b.columns[i].type;
      c.colid = static_cast<int>(i + 1);
      cat.addColumn(schema, id, c, 0);
    }
  });
}

std::int64_t Ddl::replacedModule(const std::string& schema, const std::string& name,
                                 const char* xtype, bool alter, bool orAlter, int owner) {
  std::int64_t id = s_.catalog_.objectId(schema, name, owner);
  if (!id) {
    if (alter) throw SqlError(208, {name});
    return 0;
  }
  if (!alter && !orAlter) throw SqlError(2714, {name});
  std::string kind;
  querySql(s_.db_.get(), "SELECT xtype FROM " + quoteName(schema) + ".sysobjects WHERE id = ?",
           {Stored::integer(id)}, [&](sqlite3_stmt* st) {
             kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
           });
  if (kind != xtype) throw SqlError(alter ? 8197 : 2714, {name});
  return id;
}

void Ddl::clearModule(const std::string& schema, std::int64_t id) {
  // The object keeps its id, and a view its INSTEAD OF triggers.
  for (const char* table : {"syscolumns", "syscomments"})
    execSql(s_.db_.get(), "DELETE FROM " + quoteName(schema) + "." + table + " WHERE id = ?",
            {Stored::integer(id)});
}

void Ddl::createProc(const CreateProcStmt& p) {
  const std::string& name = p.name.back();
  // Parameters of user-defined types name existing types; only those of
  // table types are READONLY, and those must be.
  std::vector<TypeInfo> types;
  for (std::size_t i = 0; i < p.params.size(); ++i) {
    const ProcParam& param = p.params[i];
    types.push_back(param.type);
    bool table = false;
    if (!param.userType.empty()) {
      auto ut = s_.resolveUserType(param.userType, static_cast<int>(i + 1));
      table = ut.table != nullptr;
      if (!table) types.back() = ut.base;
    }
    if (table && !param.readonly) throw SqlError(352, {param.name});
    if (!table && param.readonly) throw SqlError(346, {param.name});
  }
  if (!name.empty() && name[0] == '#') {
    std::string key = lower(name);
    const bool exists = s_.tempProcs_.count(key) != 0;
    if (exists && !p.alter && !p.orAlter) throw SqlError(2714, {name});
    if (!exists && p.alter) throw SqlError(208, {name});
    // The temporary procedure keeps its own parsed copy of its text.
    Batch b = parseBatch(p.text, s_.settings_.quotedIdentifier);
    auto holder = std::make_shared<Batch>(std::move(b));
    auto* proc = dynamic_cast<CreateProcStmt*>(holder->statements.at(0).get());
    s_.tempProcs_[key] = std::shared_ptr<CreateProcStmt>(holder, proc);
    return;
  }
  std::string database;
  std::string schema = schemaOf(p.name, &database);
  const int owner = ownerOf(p.name, schema);
  // A function keeps its kind (FN, IF, TF) as sysobjects.xtype; ALTER may
  // change it.
  const std::string xtype = p.functionType.empty() ? std::string("P ") : p.functionType;
  std::string replacedKind = xtype;
  if (!p.functionType.empty())
    if (std::int64_t existing = s_.catalog_.objectId(schema, name, owner))
      querySql(s_.db_.get(), "SELECT xtype FROM " + quoteName(schema) + ".sysobjects WHERE id = ?",
               {Stored::integer(existing)}, [&](sqlite3_stmt* st) {
                 std::string kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                 if (kind == "FN" || kind == "IF" || kind == "TF") replacedKind = kind;
               });
  const std::int64_t replaced =
      replacedModule(schema, name, replacedKind.c_str(), p.alter, p.orAlter, owner);
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = replaced;
    if (id) {
      clearModule(schema, id);
      if (replacedKind != xtype)
        execSql(s_.db_.get(),
                "UPDATE " + quoteName(schema) + ".sysobjects SET xtype = ? WHERE id = ?",
                {Stored::text(xtype), Stored::integer(id)});
    } else {
      id = cat.nextObjectId(schema);
      cat.addObject(schema, id, name, xtype, 0, owner);
    }
    cat.addComment(schema, id, p.text);
    cat.setQuotedIdentifier(schema, id, s_.settings_.quotedIdentifier);
    for (std::size_t i = 0; i < p.params.size(); ++i) {
      ColumnInfo c;
      c.name = p.params[i].name;
      c.type = types[i];
      c.colid = static_cast<int>(i + 1);
      cat.addColumn(schema, id, c, 0, true, p.params[i].output);
    }
  });
}

void Ddl::createTrigger(const CreateTriggerStmt& t) {
  auto table = s_.resolveTable(t.table);
  // AFTER triggers need a table; views take INSTEAD OF triggers only.
  if (table->xtype == "S" || (table->xtype == "V" && !t.insteadOf))
    throw SqlError(8197, {table->name});
  const std::string& schema = table->schema;
  const std::string& name = t.name.back();
  if (name.size() > 128) throw SqlError(103, {name});
  // A trigger is in its table's schema; a schema its name gives must be that one.
  if (t.name.size() >= 2 && !t.name[t.name.size() - 2].empty() &&
      ownerOf(t.name, schema) != table->ownerId)
    throw SqlError(2103, {t.alter ? "alter" : "create", t.name[t.name.size() - 2] + "." + name});
  std::int64_t existing = s_.catalog_.objectId(schema, name, table->ownerId);
  const TriggerInfo* old = nullptr;
  for (const auto& tr : table->triggers)
    if (tr.id == existing) old = &tr;
  // CREATE OR ALTER replaces a trigger of this table of that name.
  const bool alter = t.alter || (t.orAlter && old);
  if (alter && !old) throw SqlError(8197, {name});
  if (!alter && existing) throw SqlError(2714, {name});
  int events = (t.onInsert ? kTriggerInsert : 0) | (t.onUpdate ? kTriggerUpdate : 0) |
               (t.onDelete ? kTriggerDelete : 0);
  // One INSTEAD OF trigger per event.
  if (t.insteadOf) {
    for (const auto& tr : table->triggers) {
      if (tr.id == existing || !tr.insteadOf || !(tr.events & events)) continue;
      int both = tr.events & events;
      const char* event = both & kTriggerInsert   ? "INSERT"
                          : both & kTriggerUpdate ? "UPDATE"
                                                  : "DELETE";
      throw SqlError(2111, {alter ? "ALTER" : "CREATE", name,
                            table->xtype == "V" ? "view" : "table", table->name, event});
    }
  }
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = existing;
    if (alter) {
      // ALTER keeps the trigger's id; its text and events are replaced.
      cat.dropObject(schema, id);
    } else {
      id = cat.nextObjectId(schema);
    }
    cat.addObject(schema, id, name, "TR", table->id);
    cat.addComment(schema, id, t.text);
    cat.setQuotedIdentifier(schema, id, s_.settings_.quotedIdentifier);
    cat.setTriggerEvents(schema, id, events, t.insteadOf);
  });
}

void Ddl::enableTriggers(const EnableTriggerStmt& t) {
  auto table = s_.resolveTable(t.table);
  // ALTER TABLE takes tables only; ENABLE and DISABLE TRIGGER views too.
  if (table->xtype != "U" && (t.alterTable || table->xtype != "V"))
    throw SqlError(8197, {table->name});
  std::vector<std::int64_t> ids;
  for (const auto& tr : table->triggers)
    if (t.triggers.empty()) ids.push_back(tr.id);
  for (const Name& n : t.triggers) {
    auto it = std::find_if(table->triggers.begin(), table->triggers.end(),
                           [&](const TriggerInfo& tr) { return iequals(tr.name, n.back()); });
    if (it == table->triggers.end()) {
      if (t.alterTable) throw SqlError(4920, {n.back(), table->name});
      throw SqlError(3701, {t.enable ? "enable" : "disable", "trigger", n.back()});
    }
    ids.push_back(it->id);
  }
  atomically([&] {
    for (std::int64_t id : ids) s_.catalog_.setTriggerDisabled(table->schema, id, !t.enable);
  });
}

// Schemas are kept as rows of sysusers (status kSchemaStatus) beside the
// fixed ones every database has; an object's sysobjects.uid names its
// schema.
namespace {
constexpr int kSchemaStatus = 16;
constexpr std::string_view kFixedSchemas[] = {"dbo", "guest", "INFORMATION_SCHEMA", "sys",
                                              "public"};
}  // namespace

void Ddl::createSchema(const CreateSchemaStmt& c) {
  if (!c.transfer.empty()) return transferObject(c);
  std::string schema = schemaOf({c.name}, nullptr);
  bool exists = false;
  for (std::string_view f : kFixedSchemas)
    if (iequals(f, c.name)) exists = true;
  querySql(s_.db_.get(),
           "SELECT 1 FROM " + quoteName(schema) + ".sysusers WHERE name = ? COLLATE TSQL_CI",
           {Stored::text(c.name)}, [&](sqlite3_stmt*) { exists = true; });
  if (exists) throw SqlError(2714, {c.name});
  atomically([&] {
    execSql(s_.db_.get(),
            "INSERT INTO " + quoteName(schema) +
                ".sysusers(uid,status,name,gid,issqluser,islogin) SELECT max(max(uid) + 1, 5), " +
                std::to_string(kSchemaStatus) + ", ?, 0, 0, 0 FROM " + quoteName(schema) +
                ".sysusers",
            {Stored::text(c.name)});
  });
}

void Ddl::transferObject(const CreateSchemaStmt& c) {
  std::string database;
  const std::string schema = schemaOf(c.transfer, &database);
  Catalog& cat = s_.catalog_;
  const int to = cat.schemaId(schema, c.name);
  if (!to) throw SqlError(15151, {"schema", c.name});
  const int from = s_.ownerOfName(c.transfer, schema);
  const std::string& name = c.transfer.back();
  std::int64_t id = 0;
  std::string xtype, realName;
  querySql(s_.db_.get(),
           "SELECT id, xtype, name FROM " + quoteName(schema) +
               ".sysobjects WHERE name = ? COLLATE TSQL_CI AND uid = ? AND parent_obj = 0 AND "
               "xtype IN ('U ', 'V ', 'P ', 'SO')",
           {Stored::text(name), Stored::integer(from)}, [&](sqlite3_stmt* st) {
             id = sqlite3_column_int64(st, 0);
             xtype = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
             realName = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
           });
  if (!id) throw SqlError(15151, {"object", joinName(c.transfer)});
  if (from == to) return;
  // The object and the constraints and triggers that go with it must not
  // meet a name the schema has.
  std::string clash;
  querySql(s_.db_.get(),
           "SELECT o.name FROM " + quoteName(schema) + ".sysobjects o JOIN " + quoteName(schema) +
               ".sysobjects m ON m.name = o.name COLLATE TSQL_CI WHERE o.uid = ? AND "
               "(m.id = ? OR m.parent_obj = ?)",
           {Stored::integer(to), Stored::integer(id), Stored::integer(id)}, [&](sqlite3_stmt* st) {
             if (clash.empty()) clash = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
           });
  if (!clash.empty()) throw SqlError(15530, {clash});
  atomically([&] {
    execSql(
        s_.db_.get(),
        "UPDATE " + quoteName(schema) + ".sysobjects SET uid = ? WHERE id = ? OR parent_obj = ?",
        {Stored::integer(to), Stored::integer(id), Stored::integer(id)});
    if (xtype == "U ")
      renameStoredTable(schema, storedTableName(from, cat.schemaName(schema, from), realName),
                        storedTableName(to, cat.schemaName(schema, to), realName));
  });
}

void Ddl::rename(const std::string& object, const std::string& newName, const std::string& type) {
  const Name n = splitName(object);
  const bool column = iequals(type, "COLUMN");
  if (!type.empty() && !column && !iequals(type, "OBJECT")) throw SqlError(15249, {type});
  if (newName.empty() || newName.size() > 128) throw SqlError(15248, {type});
  sqlite3* db = s_.db_.get();
  Catalog& cat = s_.catalog_;
  if (column) {
    if (n.size() < 2) throw SqlError(15248, {type});
    auto table = s_.findTable(Name(n.begin(), n.end() - 1));
    const ColumnInfo* c = table && table->xtype == "U" ? table->column(n.back()) : nullptr;
    if (!c) throw SqlError(15248, {type});
    if (table->column(newName) && !iequals(newName, c->name))
      throw SqlError(15335, {newName, "column"});
    atomically([&] {
      execSql(db, "ALTER TABLE " + table->qualifiedName() + " RENAME COLUMN " + quoteName(c->name) +
                      " TO " + quoteName(newName));
      execSql(db,
              "UPDATE " + quoteName(table->schema) +
                  ".syscolumns SET name = ? WHERE id = ? AND colid = ?",
              {Stored::text(newName), Stored::integer(table->id), Stored::integer(c->colid)});
    });
    return;
  }
  std::string database;
  const std::string schema = schemaOf(n, &database);
  const int owner = s_.ownerOfName(n, schema);
  std::int64_t id = 0;
  std::string xtype, realName;
  querySql(db,
           "SELECT id, xtype, name FROM " + quoteName(schema) +
               ".sysobjects WHERE name = ? COLLATE TSQL_CI AND uid = ? AND xtype NOT IN "
               "('S ', 'TT', 'PK', 'UQ')",
           {Stored::text(n.back()), Stored::integer(owner)}, [&](sqlite3_stmt* st) {
             id = sqlite3_column_int64(st, 0);
             xtype = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
             realName = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
           });
  if (!id) throw SqlError(15248, {type});
  if (const std::int64_t other = cat.objectId(schema, newName, owner); other && other != id)
    throw SqlError(15335, {newName, "object"});
  atomically([&] {
    execSql(db, "UPDATE " + quoteName(schema) + ".sysobjects SET name = ? WHERE id = ?",
            {Stored::text(newName), Stored::integer(id)});
    if (xtype == "F " || xtype == "C ") renameConstraintElement(schema, id, realName, newName);
    if (xtype == "U ") {
      const std::string owned = cat.schemaName(schema, owner);
      renameStoredTable(schema, storedTableName(owner, owned, realName),
                        storedTableName(owner, owned, newName));
    }
  });
}

void Ddl::renameStoredTable(const std::string& schema, const std::string& from,
                            const std::string& to) {
  sqlite3* db = s_.db_.get();
  const std::string q = quoteName(schema);
  execSql(db, "ALTER TABLE " + q + "." + quoteName(from) + " RENAME TO " + quoteName(to));
  // Indexes are named table$index: each is made again under the new name.
  std::vector<std::pair<std::string, std::string>> indexes;
  querySql(db,
           "SELECT name, sql FROM " + q +
               ".sqlite_master WHERE type = 'index' AND tbl_name = ? AND sql IS NOT NULL",
           {Stored::text(to)}, [&](sqlite3_stmt* st) {
             indexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                                  reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
           });
  for (auto [index, sql] : indexes) {
    if (index.rfind(from + "$", 0) != 0) continue;
    const std::string renamed = to + index.substr(from.size());
    const std::size_t at = sql.find(quoteName(index));
    if (at == std::string::npos) continue;
    sql.replace(at, quoteName(index).size(), q + "." + quoteName(renamed));
    execSql(db, "DROP INDEX " + q + "." + quoteName(index));
    execSql(db, sql);
  }
}

void Ddl::drop(const DropStmt& d) {
  for (const Name& n : d.names) {
    if (d.objectType == "SCHEMA") {
      std::string schema = schemaOf({n.back()}, nullptr);
      // A schema that still holds objects or types stays.
      if (const int id = s_.catalog_.schemaId(schema, n.back()); id >= kFirstUserSchemaId) {
        std::string held;
        querySql(s_.db_.get(),
                 "SELECT name FROM (SELECT name, id FROM " + quoteName(schema) +
                     ".sysobjects WHERE uid = ? AND parent_obj = 0 UNION ALL SELECT name, "
                     "xusertype FROM " +
                     quoteName(schema) + ".systypes WHERE uid = ? AND xusertype > 256) ORDER BY id",
                 {Stored::integer(id), Stored::integer(id)}, [&](sqlite3_stmt* st) {
                   if (held.empty())
                     held = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                 });
        if (!held.empty()) throw SqlError(3729, {n.back(), held});
      }
      int removed = 0;
      atomically([&] {
        execSql(s_.db_.get(),
                "DELETE FROM " + quoteName(schema) + ".sysusers WHERE name = ? COLLATE TSQL_CI " +
                    "AND status = " + std::to_string(kSchemaStatus),
                {Stored::text(n.back())});
        removed = static_cast<int>(sqlite3_changes(s_.db_.get()));
      });
      if (removed == 0 && !d.ifExists) throw SqlError(3701, {"drop", "schema", n.back()});
      continue;
    }
    if (d.objectType == "DATABASE") {
      s_.dropDatabase(n.back());
      continue;
    }
    if (d.objectType == "TYPE") {
      if (d.ifExists) {
        const std::string schema = schemaOf(n, nullptr);
        if (!s_.userTypeId(schema, n.back(), s_.ownerOfName(n, schema))) continue;
      }
      dropType(n);
      continue;
    }
    if (d.objectType == "INDEX") {
      if (n.size() < 2) throw SqlError(159, {n.back()});
      Name tname(n.begin(), n.end() - 1);
      auto table = s_.resolveTable(tname);
      std::int64_t indid = -1;
      int status = 0;
      querySql(s_.db_.get(),
               "SELECT indid, status FROM " + quoteName(table->schema) +
                   ".sysindexes WHERE id = ? AND name = ? COLLATE TSQL_CI",
               {Stored::integer(table->id), Stored::text(n.back())}, [&](sqlite3_stmt* st) {
                 indid = sqlite3_column_int64(st, 0);
                 status = sqlite3_column_int(st, 1);
               });
      if (indid < 0 && d.ifExists) continue;
      if (indid < 0) throw SqlError(3701, {"drop", "index", table->name + "." + n.back()});
      if (status & 0x1800) throw SqlError(3723, {table->name + "." + n.back()});
      atomically([&] {
        execSql(s_.db_.get(), "DROP INDEX " + quoteName(table->schema) + "." +
                                  quoteName(table->storedName + "$" + n.back()));
        execSql(
            s_.db_.get(),
            "DELETE FROM " + quoteName(table->schema) + ".sysindexes WHERE id = ? AND indid = ?",
            {Stored::integer(table->id), Stored::integer(indid)});
        execSql(
            s_.db_.get(),
            "DELETE FROM " + quoteName(table->schema) + ".sysindexkeys WHERE id = ? AND indid = ?",
            {Stored::integer(table->id), Stored::integer(indid)});
      });
      continue;
    }
    if (d.objectType == "PROCEDURE" && !n.back().empty() && n.back()[0] == '#') {
      if (!s_.tempProcs_.erase(lower(n.back())) && !d.ifExists)
        throw SqlError(3701, {"drop", "procedure", n.back()});
      continue;
    }
    std::string database;
    std::string schema = schemaOf(n, &database);
    const int owner = s_.ownerOfName(n, schema);
    std::string xtype;
    std::int64_t id = 0;
    std::string realName;
    querySql(s_.db_.get(),
             "SELECT id, xtype, name FROM " + quoteName(schema) +
                 ".sysobjects WHERE name = ? COLLATE TSQL_CI AND uid = ?",
             {Stored::text(n.back()), Stored::integer(owner)}, [&](sqlite3_stmt* st) {
               id = sqlite3_column_int64(st, 0);
               xtype = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
               realName = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
             });
    std::string want = d.objectType == "TABLE"      ? "U "
                       : d.objectType == "VIEW"     ? "V "
                       : d.objectType == "TRIGGER"  ? "TR"
                       : d.objectType == "SEQUENCE" ? "SO"
                       : d.objectType == "FUNCTION" ? "FN"
                                                    : "P ";
    std::string kind = lower(d.objectType);
    if (want == "FN" && (xtype == "IF" || xtype == "TF")) want = xtype;
    if (!id || xtype != want) {
      if (d.ifExists) continue;
      throw SqlError(3701, {"drop", kind, joinName(n)});
    }
    if (want == "U ") {
      // A table that other tables reference cannot go.
      std::string referrer;
      querySql(s_.db_.get(),
               "SELECT name FROM " + quoteName(schema) +
                   ".sysobjects WHERE xtype = 'F ' AND info = ? AND parent_obj <> ?",
               {Stored::integer(id), Stored::integer(id)}, [&](sqlite3_stmt* st) {
                 referrer = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
               });
      if (!referrer.empty()) throw SqlError(3726, {realName, referrer});
    }
    atomically([&] {
      if (want == "U ")
        execSql(s_.db_.get(), "DROP TABLE " + quoteName(schema) + "." +
                                  quoteName(storedTableName(
                                      owner, s_.catalog_.schemaName(schema, owner), realName)));
      s_.catalog_.dropObject(schema, id);
      if (want == "SO") s_.dropSequence(schema, id);
      std::erase_if(s_.globalTemps_,
                    [&](const auto& g) { return g.id == id && schema == "tempdb"; });
    });
  }
}

// A user-defined type is a systypes row with an xusertype above 256. A table
// type's columns hang off a sysobjects row of type TT (named as SQL Server
// names it), whose id the row keeps in `domain`, with the CREATE TYPE text
// in syscomments.
std::vector<TypeInfo> Ddl::columnTypes(const CreateTableStmt& t, std::uint16_t collation) {
  std::vector<TypeInfo> types;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& d = t.columns[i];
    types.push_back(d.type);
    if (isCharType(d.type.type) && d.collate.empty())
      types.back().collation = collation;
    else if (isCharType(d.type.type) && iequals(d.collate, "DATABASE_DEFAULT"))
      types.back().collation = s_.currentCollation_;
    if (d.userType.empty()) continue;
    auto alias = s_.resolveUserType(d.userType, static_cast<int>(i + 1));
    // A column cannot be of a table type.
    if (alias.table) throw SqlError(2715, {std::to_string(i + 1), alias.name});
    types.back() = alias.base;
    if (d.nullSpecified) types.back().nullable = d.type.nullable;
  }
  return types;
}

void Ddl::createType(const CreateTypeStmt& c) {
  std::string database;
  std::string schema = schemaOf(c.name, &database);
  const std::string& name = c.name.back();
  if (name.size() > 128) throw SqlError(103, {name});
  const int owner = ownerOf(c.name, schema);
  if (typeFromName(name, {}) || s_.userTypeId(schema, name, owner)) throw SqlError(219, {name});
  if (c.table) {
    const auto& cols = c.table->columns;
    for (std::size_t i = 0; i < cols.size(); ++i)
      for (std::size_t k = 0; k < i; ++k)
        if (iequals(cols[i].name, cols[k].name)) throw SqlError(2705, {cols[i].name, name});
    for (const ConstraintDef& k : c.table->constraints)
      for (const std::string& col : k.columns)
        if (std::none_of(cols.begin(), cols.end(),
                         [&](const auto& def) { return iequals(def.name, col); }))
          throw SqlError(1911, {col});
  }
  std::vector<TypeInfo> columnTypesOf;
  if (c.table) columnTypesOf = columnTypes(*c.table, s_.currentCollation_);
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t userType = 257;
    querySql(s_.db_.get(), "SELECT max(xusertype) FROM " + quoteName(schema) + ".systypes", {},
             [&](sqlite3_stmt* st) {
               userType = std::max<std::int64_t>(userType, sqlite3_column_int64(st, 0) + 1);
             });
    std::int64_t tableId = 0;
    TypeInfo t = c.base;
    int xtype = typeXtype(t.type);
    if (c.table) {
      tableId = cat.nextObjectId(schema);
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08llX",
                    static_cast<unsigned long long>(tableId * 2654435761u & 0xFFFFFFFF));
      cat.addObject(schema, tableId, "TT_" + name + "_" + hex, "TT", 0, owner);
      cat.addComment(schema, tableId, c.text);
      for (std::size_t i = 0; i < c.table->columns.size(); ++i) {
        const ColumnDef& d = c.table->columns[i];
        ColumnInfo col;
        col.name = d.name;
        col.type = columnTypesOf[i];
        if (!d.nullSpecified && d.userType.empty())
          col.type.nullable = s_.settings_.ansiNullDefault;
        if (d.identity) col.type.nullable = false;
        col.colid = static_cast<int>(i + 1);
        col.identity = d.identity;
        cat.addColumn(schema, tableId, col, 0);
      }
      t = makeType(SqlType::Int);
      t.length = -1;
      t.nullable = false;
      xtype = kTableTypeXtype;
    } else if (!c.nullSpecified) {
      t.nullable = true;
    }
    execSql(s_.db_.get(),
            "INSERT INTO " + quoteName(schema) +
                ".systypes(name,xtype,status,xusertype,length,xprec,xscale,tdefault,domain,uid,"
                "reserved,collationid,usertype,variable,allownulls,type,prec,scale) "
                "VALUES(?,?,0,?,?,?,?,0,?,?,0,0,?,0,?,0,?,?)",
            {Stored::text(name), Stored::integer(xtype), Stored::integer(userType),
             Stored::integer(t.length > 8000 ? -1 : t.length), Stored::integer(t.precision),
             Stored::integer(t.scale), Stored::integer(tableId), Stored::integer(owner),
             Stored::integer(userType), Stored::integer(t.nullable), Stored::integer(t.precision),
             Stored::integer(t.scale)});
  });
}

void Ddl::dropType(const Name& n) {
  std::string schema = schemaOf(n, nullptr);
  std::int64_t userType = s_.userTypeId(schema, n.back(), s_.ownerOfName(n, schema));
  if (!userType) throw SqlError(218, {n.back()});
  atomically([&] {
    std::int64_t tableId = 0;
    querySql(s_.db_.get(),
             "SELECT domain FROM " + quoteName(schema) + ".systypes WHERE xusertype = ?",
             {Stored::integer(userType)},
             [&](sqlite3_stmt* st) { tableId = sqlite3_column_int64(st, 0); });
    execSql(s_.db_.get(), "DELETE FROM " + quoteName(schema) + ".systypes WHERE xusertype = ?",
            {Stored::integer(userType)});
    if (tableId) s_.catalog_.dropObject(schema, tableId);
  });
}

void Ddl::truncate(const TruncateStmt& t) {
  auto table = s_.resolveTable(t.table);
  if (table->xtype != "U") throw SqlError(4708, {table->name});
  atomically([&] {
    execSql(s_.db_.get(), "DELETE FROM " + table->qualifiedName());
    execSql(
        s_.db_.get(),
        "UPDATE " + quoteName(table->schema) + "._tessel_identity SET current = NULL WHERE id = ?",
        {Stored::integer(table->id)});
  });
}

}  // namespace tessel::sqld::engine
