#include "ddl.h"

#include <sqlite3.h>

#include <cstdio>

#include "binder.h"
#include "collations.h"
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

}  // namespace

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

void Ddl::run(const Stmt& stmt, Frame& frame) {
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
      s_.engine_.createDatabase(c.name);
      break;
    }
    case StmtKind::Drop:
      drop(static_cast<const DropStmt&>(stmt));
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
  if (name.size() > 128) throw SqlError(103, {name});
  // A #table's name is padded to 128 characters with a 12-character suffix
  // that sets it apart from other sessions' tables of the same name.
  constexpr std::size_t kLocalTempNameMax = 116;
  if (!as && name.size() > kLocalTempNameMax && name.rfind("#", 0) == 0 && name.rfind("##", 0) != 0)
    throw SqlError(193, {name, std::to_string(kLocalTempNameMax)});
  if (s_.catalog_.objectId(schema, name)) throw SqlError(2714, {name});
  // Column names must be unique.
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    for (std::size_t k = 0; k < i; ++k)
      if (iequals(t.columns[i].name, t.columns[k].name))
        throw SqlError(2705, {t.columns[i].name, name});
  std::vector<TypeInfo> types = columnTypes(t);
  int identities = 0;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const TypeInfo& type = types[i];
    if (t.columns[i].identity) {
      ++identities;
      if (!isExactType(type.type) || (isDecimalType(type.type) && type.scale != 0) ||
          type.type == SqlType::Bit || isMoneyType(type.type))
        throw SqlError(2749, {t.columns[i].name});
    }
  }
  if (identities > 1) throw SqlError(2744, {});
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = cat.nextObjectId(schema);
    cat.addObject(schema, id, name, "U");
    // Columns: nullability follows ANSI_NULL_DFLT_ON when not given; key
    // columns are never nullable.
    auto table = std::make_shared<TableInfo>();
    table->id = id;
    table->name = name;
    table->schema = schema;
    table->database = database;
    table->xtype = "U";
    std::vector<bool> inKey(t.columns.size(), false);
    for (const auto& c : t.constraints)
      if (c.kind == ConstraintDef::Kind::PrimaryKey)
        for (const auto& col : c.columns)
          for (std::size_t i = 0; i < t.columns.size(); ++i)
            if (iequals(t.columns[i].name, col)) inKey[i] = true;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const ColumnDef& d = t.columns[i];
      ColumnInfo c;
      c.name = d.name;
      c.type = types[i];
      // An alias type brings its own nullability.
      if (!d.nullSpecified && d.userType.empty()) c.type.nullable = s_.settings_.ansiNullDefault;
      if (d.identity || inKey[i]) c.type.nullable = false;
      if (c.type.type == SqlType::Bit && !d.nullSpecified && d.userType.empty())
        c.type.nullable = s_.settings_.ansiNullDefault;
      c.colid = static_cast<int>(i + 1);
      c.identity = d.identity;
      c.ansiPadded = s_.settings_.ansiPadding;
      c.defaultText = d.defaultText;
      std::int64_t defaultId = 0;
      if (!d.defaultText.empty()) {
        defaultId = cat.nextObjectId(schema);
        cat.addObject(schema, defaultId, generatedName("DF", name, defaultId), "D", id);
        cat.addComment(schema, defaultId, "(" + d.defaultText + ")");
        c.defaultText = "(" + d.defaultText + ")";
      }
      cat.addColumn(schema, id, c, defaultId);
      if (d.identity) cat.setIdentity(schema, id, d.seed, d.increment);
      table->columns.push_back(c);
    }
    std::string sql = "CREATE TABLE " + quoteName(schema) + "." + quoteName(name) + " (";
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
      const ColumnInfo& c = table->columns[i];
      sql += (i ? ", " : "") + quoteName(c.name) + " " + storageClause(c.type);
      if (!c.type.nullable) sql += " NOT NULL";
    }
    Binder binder(s_);
    std::vector<std::pair<std::string, const ConstraintDef*>> keys;
    int keyNo = 0;
    for (const auto& c : t.constraints) {
      switch (c.kind) {
        case ConstraintDef::Kind::Check: {
          std::int64_t cid = cat.nextObjectId(schema);
          std::string cname = c.name.empty() ? generatedName("CK", name, cid) : c.name;
          if (cat.objectId(schema, cname)) throw SqlError(2714, {cname});
          Typed check = binder.bindTableExpression(*c.check, *table);
          sql += ", CONSTRAINT " + quoteName(cname) + " CHECK (" + check.sql + ")";
          cat.addObject(schema, cid, cname, "C", id);
          cat.addComment(schema, cid, "(" + c.checkText + ")");
          break;
        }
        case ConstraintDef::Kind::ForeignKey: {
          std::string refDb;
          std::string refSchema = schemaOf(c.refTable, &refDb);
          if (refSchema != schema) throw SqlError(1763, {});
          bool self = iequals(c.refTable.back(), name);
          std::shared_ptr<const TableInfo> ref =
              self ? table : cat.table(refSchema, refDb, c.refTable.back());
          if (!ref) throw SqlError(1767, {c.refTable.back()});
          std::vector<std::string> refCols = c.refColumns;
          if (refCols.empty()) {
            // The referenced table's primary key.
            for (const auto& k : t.constraints)
              if (self && k.kind == ConstraintDef::Kind::PrimaryKey) refCols = k.columns;
            if (!self) {
              querySql(
                  s_.db_.get(),
                  "SELECT c.name FROM " + quoteName(schema) + ".sysindexes i JOIN " +
                      quoteName(schema) +
                      ".sysindexkeys k ON k.id = i.id AND k.indid = i.indid JOIN " +
                      quoteName(schema) +
                      ".syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE i.id = ? AND "
                      "(i.status & 2048) <> 0 ORDER BY k.keyno",
                  {Stored::integer(ref->id)}, [&](sqlite3_stmt* st) {
                    refCols.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
                  });
            }
          }
          if (refCols.size() != c.columns.size()) throw SqlError(1767, {c.refTable.back()});
          std::int64_t fid = cat.nextObjectId(schema);
          std::string fname = c.name.empty() ? generatedName("FK", name, fid) : c.name;
          sql += ", CONSTRAINT " + quoteName(fname) + " FOREIGN KEY (";
          for (std::size_t i = 0; i < c.columns.size(); ++i)
            sql += (i ? ", " : "") + quoteName(c.columns[i]);
          sql += ") REFERENCES " + quoteName(ref->name) + " (";
          for (std::size_t i = 0; i < refCols.size(); ++i)
            sql += (i ? ", " : "") + quoteName(refCols[i]);
          sql += ")";
          if (c.cascadeDelete) sql += " ON DELETE CASCADE";
          if (c.cascadeUpdate) sql += " ON UPDATE CASCADE";
          cat.addObject(schema, fid, fname, "F", id);
          execSql(s_.db_.get(),
                  "UPDATE " + quoteName(schema) + ".sysobjects SET info = ? WHERE id = ?",
                  {Stored::integer(ref->id), Stored::integer(fid)});
          break;
        }
        case ConstraintDef::Kind::PrimaryKey:
        case ConstraintDef::Kind::Unique: {
          bool pk = c.kind == ConstraintDef::Kind::PrimaryKey;
          std::int64_t kid = cat.nextObjectId(schema);
          std::string kname = c.name.empty() ? generatedName(pk ? "PK" : "UQ", name, kid) : c.name;
          if (cat.objectId(schema, kname)) throw SqlError(2714, {kname});
          cat.addObject(schema, kid, kname, pk ? "PK" : "UQ", id);
          std::vector<int> colids;
          for (const auto& col : c.columns) {
            const ColumnInfo* ci = table->column(col);
            if (!ci) throw SqlError(1911, {col});
            colids.push_back(ci->colid);
          }
          int indid = pk ? 1 : 2 + keyNo++;
          if (!pk &&
              std::any_of(t.constraints.begin(), t.constraints.end(), [](const ConstraintDef& x) {
                return x.kind == ConstraintDef::Kind::PrimaryKey;
              }))
            indid = 2 + keyNo - 1;
          cat.addIndex(schema, id, indid, kname, 2 | (pk ? 0x800 : 0x1000), colids);
          keys.emplace_back(kname, &c);
          break;
        }
        default:
          break;
      }
    }
    sql += ")";
    execSql(s_.db_.get(), sql);
    for (const auto& [kname, c] : keys) {
      std::string idx = "CREATE UNIQUE INDEX " + quoteName(schema) + "." +
                        quoteName(name + "$" + kname) + " ON " + quoteName(name) + " (";
      for (std::size_t i = 0; i < c->columns.size(); ++i)
        idx += (i ? ", " : "") + quoteName(c->columns[i]);
      execSql(s_.db_.get(), idx + ")");
    }
    // A table without a clustered key still has its heap row (indid 0).
    bool hasPk = false;
    for (const auto& c : t.constraints) hasPk |= c.kind == ConstraintDef::Kind::PrimaryKey;
    if (!hasPk) cat.addIndex(schema, id, 0, name, 0, {});
    if (isGlobalTempName(name)) {
      std::int64_t created = 0;
      querySql(s_.db_.get(), "SELECT crdate FROM tempdb.sysobjects WHERE id = ?",
               {Stored::integer(id)},
               [&](sqlite3_stmt* st) { created = sqlite3_column_int64(st, 0); });
      s_.globalTemps_.push_back({name, id, created});
    }
  });
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
    d.nullSpecified = true;
    // SELECT INTO keeps the identity property of a copied identity column.
    d.identity = c.identity;
    d.seed = seed;
    d.increment = increment;
    if (d.identity) d.type.nullable = false;
    t.columns.push_back(std::move(d));
  }
  createTable(t);
  std::string database;
  std::string schema = schemaOf(n, &database);
  return s_.catalog_.table(schema, database, n.back());
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
                      quoteName(schema) + "." + quoteName(table->name + "$" + t.name) + " ON " +
                      quoteName(table->name) + " (";
    for (std::size_t i = 0; i < t.columns.size(); ++i)
      sql += (i ? ", " : "") + quoteName(t.columns[i]) +
             (i < t.descending.size() && t.descending[i] ? " DESC" : "");
    execSql(s_.db_.get(), sql + ")");
    int indid = static_cast<int>(s_.catalog_.nextIndexId(schema, table->id));
    if (t.clustered) {
      // The clustered index takes indid 1 in place of the heap row.
      execSql(s_.db_.get(),
              "DELETE FROM " + quoteName(schema) + ".sysindexes WHERE id = ? AND indid = 0",
              {Stored::integer(table->id)});
      indid = 1;
    }
    s_.catalog_.addIndex(schema, table->id, indid, t.name,
                         (t.unique ? 2 : 0) | (t.clustered ? 16 : 0), colids);
  });
}

void Ddl::createView(const CreateViewStmt& v) {
  std::string database;
  std::string schema = schemaOf(v.name, &database);
  const std::string& name = v.name.back();
  if (s_.catalog_.objectId(schema, name)) throw SqlError(2714, {name});
  Binder binder(s_);
  BoundStatement b = binder.bindSelect(*v.select);
  if (!v.columns.empty() && v.columns.size() != b.columns.size()) throw SqlError(8159, {name});
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = cat.nextObjectId(schema);
    cat.addObject(schema, id, name, "V");
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
    if (s_.tempProcs_.count(key)) throw SqlError(2714, {name});
    // The temporary procedure keeps its own parsed copy of its text.
    Batch b = parseBatch(p.text, s_.settings_.quotedIdentifier);
    auto holder = std::make_shared<Batch>(std::move(b));
    auto* proc = dynamic_cast<CreateProcStmt*>(holder->statements.at(0).get());
    s_.tempProcs_[key] = std::shared_ptr<CreateProcStmt>(holder, proc);
    return;
  }
  std::string database;
  std::string schema = schemaOf(p.name, &database);
  if (s_.catalog_.objectId(schema, name)) throw SqlError(2714, {name});
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = cat.nextObjectId(schema);
    cat.addObject(schema, id, name, "P");
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
  std::int64_t existing = s_.catalog_.objectId(schema, name);
  const TriggerInfo* old = nullptr;
  for (const auto& tr : table->triggers)
    if (tr.id == existing) old = &tr;
  if (t.alter && !old) throw SqlError(8197, {name});
  if (!t.alter && existing) throw SqlError(2714, {name});
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
      throw SqlError(2111, {t.alter ? "ALTER" : "CREATE", name,
                            table->xtype == "V" ? "view" : "table", table->name, event});
    }
  }
  atomically([&] {
    Catalog& cat = s_.catalog_;
    std::int64_t id = existing;
    if (t.alter) {
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
// fixed ones every database has; objects of all schemas share the
// database's one namespace.
namespace {
constexpr int kSchemaStatus = 16;
constexpr std::string_view kFixedSchemas[] = {"dbo", "guest", "INFORMATION_SCHEMA", "sys",
                                              "public"};
}  // namespace

void Ddl::createSchema(const CreateSchemaStmt& c) {
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

void Ddl::drop(const DropStmt& d) {
  for (const Name& n : d.names) {
    if (d.objectType == "SCHEMA") {
      std::string schema = schemaOf({n.back()}, nullptr);
      int removed = 0;
      atomically([&] {
        execSql(s_.db_.get(),
                "DELETE FROM " + quoteName(schema) + ".sysusers WHERE name = ? COLLATE TSQL_CI " +
                    "AND status = " + std::to_string(kSchemaStatus),
                {Stored::text(n.back())});
        removed = static_cast<int>(sqlite3_changes(s_.db_.get()));
      });
      if (removed == 0) throw SqlError(3701, {"drop", "schema", n.back()});
      continue;
    }
    if (d.objectType == "DATABASE") {
      throw SqlError(3702, {n.back()});
    }
    if (d.objectType == "TYPE") {
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
      if (indid < 0) throw SqlError(3701, {"drop", "index", table->name + "." + n.back()});
      if (status & 0x1800) throw SqlError(3723, {table->name + "." + n.back()});
      atomically([&] {
        execSql(s_.db_.get(), "DROP INDEX " + quoteName(table->schema) + "." +
                                  quoteName(table->name + "$" + n.back()));
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
      if (!s_.tempProcs_.erase(lower(n.back())))
        throw SqlError(3701, {"drop", "procedure", n.back()});
      continue;
    }
    std::string database;
    std::string schema = schemaOf(n, &database);
    std::string xtype;
    std::int64_t id = 0;
    std::string realName;
    querySql(s_.db_.get(),
             "SELECT id, xtype, name FROM " + quoteName(schema) +
                 ".sysobjects WHERE name = ? COLLATE TSQL_CI",
             {Stored::text(n.back())}, [&](sqlite3_stmt* st) {
               id = sqlite3_column_int64(st, 0);
               xtype = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
               realName = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
             });
    std::string want = d.objectType == "TABLE"      ? "U "
                       : d.objectType == "VIEW"     ? "V "
                       : d.objectType == "TRIGGER"  ? "TR"
                       : d.objectType == "SEQUENCE" ? "SO"
                                                    : "P ";
    std::string kind = d.objectType == "TABLE"      ? "table"
                       : d.objectType == "VIEW"     ? "view"
                       : d.objectType == "TRIGGER"  ? "trigger"
                       : d.objectType == "SEQUENCE" ? "sequence"
                                                    : "procedure";
    if (!id || xtype != want) throw SqlError(3701, {"drop", kind, n.back()});
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
        execSql(s_.db_.get(), "DROP TABLE " + quoteName(schema) + "." + quoteName(realName));
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
std::vector<TypeInfo> Ddl::columnTypes(const CreateTableStmt& t) {
  std::vector<TypeInfo> types;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& d = t.columns[i];
    types.push_back(d.type);
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
  if (typeFromName(name, {}) || s_.userTypeId(schema, name)) throw SqlError(219, {name});
  if (c.table) {
    const auto& cols = c.table->columns;
    for (std::size_t i = 0; i < cols.size(); ++i)
      for (std::size_t k = 0; k < i; ++k)
        if (iequals(cols[i].name, cols[k].name)) throw SqlError(2705, {cols[i].name, name});
  }
  std::vector<TypeInfo> columnTypesOf;
  if (c.table) columnTypesOf = columnTypes(*c.table);
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
      cat.addObject(schema, tableId, "TT_" + name + "_" + hex, "TT");
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
                "VALUES(?,?,0,?,?,?,?,0,?,1,0,0,?,0,?,0,?,?)",
            {Stored::text(name), Stored::integer(xtype), Stored::integer(userType),
             Stored::integer(t.length > 8000 ? -1 : t.length), Stored::integer(t.precision),
             Stored::integer(t.scale), Stored::integer(tableId), Stored::integer(userType),
             Stored::integer(t.nullable), Stored::integer(t.precision), Stored::integer(t.scale)});
  });
}

void Ddl::dropType(const Name& n) {
  std::string schema = schemaOf(n, nullptr);
  std::int64_t userType = s_.userTypeId(schema, n.back());
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
