#include "catalog.h"

#include "collation/sql_collation.h"
#include "collations.h"
#include "datetime.h"
#include "lexer.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// syscolumns.collationid: NULL for a column that holds no text. SQL Server
// numbers a collation of the Latin1 family by its sort order (SQL
// collations; 0 for Windows ones) in the high byte, its comparison flags
// and the family's number; the server's own collation stands for the
// others.
Stored collationIdColumn(const TypeInfo& t) {
  constexpr std::int64_t kDefault = 872468488;  // SQL_Latin1_General_CP1_CI_AS
  constexpr std::int64_t kLatin1Family = 8;
  if (!isCharType(t.type)) return Stored::null();
  const auto c = collation::CollationById(t.collation);
  if (!c || c->Lcid != 0x409 || c->Order != collation::SortOrder::Dictionary)
    return Stored::integer(kDefault);
  const std::int64_t flags = (c->CaseSensitive ? 0 : 1) | (c->AccentSensitive ? 0 : 2) |
                             (c->KanaSensitive ? 0 : 4) | (c->WidthSensitive ? 0 : 8);
  return Stored::integer(std::int64_t{c->SortId} << 24 | flags << 12 | kLatin1Family);
}

// The sysobjects.status bit that SQL Server uses for "created with
// QUOTED_IDENTIFIER on".
constexpr std::int64_t kQuotedIdentifierBit = 0x40000000;
// sysobjects.status of a trigger: its events (kTriggerInsert ... shifted) and
// whether it runs instead of the statement; 0x800 marks a disabled trigger.
constexpr int kTriggerEventShift = 8;
constexpr std::int64_t kTriggerEventMask = 0x700;
constexpr std::int64_t kTriggerDisabledBit = 0x800;
constexpr std::int64_t kTriggerInsteadOfBit = 0x10000;
// syscolumns.status: ANSI_PADDING was on when a character or binary column
// was created (as SQL Server 2000 shows it).
constexpr int kAnsiPaddedStatus = 0x10;
// syscolumns.colstat: the column was created with ANSI_PADDING off. Kept as
// a bit of its own so that columns of databases written before it was
// recorded read as padded, as they behaved.
constexpr int kAnsiTrimColstat = 0x2000;
// syscolumns.colstat: a computed column whose values are stored (PERSISTED).
constexpr int kPersistedColstat = 0x4000;
// syscolumns.xtype and usertype of timestamp (rowversion) columns.
constexpr int kTimestampXtype = 189;
constexpr int kTimestampUserType = 80;
// syscomments.status of a computed column's text, kept under the table's id
// with the column's colid as number.
constexpr int kComputedTextStatus = 2;

struct SysColumn {
  const char* name;
  const char* type;  // T-SQL type
};

struct SysTable {
  const char* name;
  std::vector<SysColumn> columns;
  bool masterOnly = false;
};

// The catalog tables as SQL Server 2000 shows them (the columns clients read).
const std::vector<SysTable>& systemTables() {
  static const std::vector<SysTable> tables = {
      {"sysobjects", {{"name", "sysname"},         {"id", "int"},
                      {"xtype", "char(2)"},        {"uid", "smallint"},
                      {"info", "smallint"},        {"status", "int"},
                      {"base_schema_ver", "int"},  {"replinfo", "int"},
                      {"parent_obj", "int"},       {"crdate", "datetime"},
                      {"ftcatid", "smallint"},     {"schema_ver", "int"},
                      {"stats_schema_ver", "int"}, {"type", "char(2)"},
                      {"userstat", "smallint"},    {"sysstat", "smallint"},
                      {"indexdel", "smallint"},    {"refdate", "datetime"},
                      {"version", "int"},          {"deltrig", "int"},
                      {"instrig", "int"},          {"updtrig", "int"},
                      {"seltrig", "int"},          {"category", "int"},
                      {"cache", "smallint"}}},
      {"syscolumns",
       {{"name", "sysname"},
        {"id", "int"},
        {"xtype", "tinyint"},
        {"typestat", "tinyint"},
        {"xusertype", "smallint"},
        {"length", "smallint"},
        {"xprec", "tinyint"},
        {"xscale", "tinyint"},
        {"colid", "smallint"},
        {"xoffset", "smallint"},
        {"bitpos", "tinyint"},
        {"reserved", "tinyint"},
        {"colstat", "smallint"},
        {"cdefault", "int"},
        {"domain", "int"},
        {"number", "smallint"},
        {"colorder", "smallint"},
        {"autoval", "varbinary(255)"},
        {"offset", "smallint"},
        {"collationid", "int"},
        {"language", "int"},
        {"status", "tinyint"},
        {"type", "tinyint"},
        {"usertype", "smallint"},
        {"printfmt", "varchar(255)"},
        {"prec", "smallint"},
        {"scale", "int"},
        {"iscomputed", "int"},
        {"isoutparam", "int"},
        {"isnullable", "int"},
        {"collation", "sysname"}}},
      {"systypes", {{"name", "sysname"},       {"xtype", "tinyint"},         {"status", "tinyint"},
                    {"xusertype", "smallint"}, {"length", "smallint"},       {"xprec", "tinyint"},
                    {"xscale", "tinyint"},     {"tdefault", "int"},          {"domain", "int"},
                    {"uid", "smallint"},       {"reserved", "smallint"},     {"collationid", "int"},
                    {"usertype", "smallint"},  {"variable", "bit"},          {"allownulls", "bit"},
                    {"type", "tinyint"},       {"printfmt", "varchar(255)"}, {"prec", "smallint"},
                    {"scale", "tinyint"},      {"collation", "sysname"}}},
      {"sysindexes",
       {{"id", "int"},
        {"status", "int"},
        {"first", "binary(6)"},
        {"indid", "smallint"},
        {"root", "binary(6)"},
        {"minlen", "smallint"},
        {"keycnt", "smallint"},
        {"groupid", "smallint"},
        {"dpages", "int"},
        {"reserved", "int"},
        {"used", "int"},
        {"rowcnt", "bigint"},
        {"rowmodctr", "int"},
        {"xmaxlen", "smallint"},
        {"maxirow", "smallint"},
        {"OrigFillFactor", "tinyint"},
        {"keys", "varbinary(1088)"},
        {"name", "sysname"},
        {"rows", "int"}}},
      {"sysindexkeys",
       {{"id", "int"}, {"indid", "smallint"}, {"colid", "smallint"}, {"keyno", "smallint"}}},
      {"syscomments",
       {{"id", "int"},
        {"number", "smallint"},
        {"colid", "smallint"},
        {"status", "smallint"},
        {"texttype", "smallint"},
        {"language", "smallint"},
        {"encrypted", "bit"},
        {"compressed", "bit"},
        {"text", "nvarchar(4000)"}}},
      {"sysusers",
       {{"uid", "smallint"},
        {"status", "smallint"},
        {"name", "sysname"},
        {"gid", "smallint"},
        {"issqluser", "int"},
        {"islogin", "int"}}},
      {"sysdatabases",
       {{"name", "sysname"},
        {"dbid", "smallint"},
        {"sid", "varbinary(85)"},
        {"mode", "smallint"},
        {"status", "int"},
        {"status2", "int"},
        {"crdate", "datetime"},
        {"reserved", "datetime"},
        {"category", "int"},
        {"cmptlevel", "tinyint"},
        {"filename", "nvarchar(260)"},
        {"version", "smallint"}},
       true},
  };
  return tables;
}

std::string storageClause(const TypeInfo& t) {
  if (isCharType(t.type) || t.type == SqlType::UniqueIdentifier)
    return "TEXT" + collateClause(t.collation);
  if (isBinaryType(t.type)) return "BLOB";
  if (t.type == SqlType::Real || t.type == SqlType::Float) return "REAL";
  return "INTEGER";
}

TypeInfo parseSimpleType(std::string_view text) {
  std::string name(text.substr(0, text.find('(')));
  std::vector<int> args;
  std::size_t open = text.find('(');
  if (open != std::string_view::npos)
    args.push_back(std::atoi(std::string(text.substr(open + 1)).c_str()));
  return *typeFromName(name, args);
}

}  // namespace

const ColumnInfo* TableInfo::column(std::string_view n) const {
  int i = columnIndex(n);
  return i < 0 ? nullptr : &columns[static_cast<std::size_t>(i)];
}

int TableInfo::columnIndex(std::string_view n) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (iequals(columns[i].name, n)) return static_cast<int>(i);
  return -1;
}

std::string TableInfo::qualifiedName() const {
  return quoteName(schema) + "." + quoteName(storedName.empty() ? name : storedName);
}

std::string storedTableName(int ownerId, const std::string& owner, const std::string& name) {
  return ownerId == kDboSchemaId ? name : owner + "~" + name;
}

bool trimsTrailing(const ColumnInfo& c) {
  SqlType t = c.type.type;
  if (c.ansiPadded || isMaxType(c.type)) return false;
  return t == SqlType::VarChar || t == SqlType::VarBinary ||
         ((t == SqlType::Char || t == SqlType::Binary) && c.type.nullable);
}

TypeInfo storedType(const ColumnInfo& c) {
  TypeInfo t = c.type;
  if (trimsTrailing(c)) {
    if (t.type == SqlType::Char) t.type = SqlType::VarChar;
    if (t.type == SqlType::Binary) t.type = SqlType::VarBinary;
  }
  return t;
}

namespace {

// The catalog tables whose rows tempdb's catalog shows from both stores.
constexpr const char* kMergedTables[] = {"sysobjects", "syscolumns", "syscomments", "sysindexes",
                                         "sysindexkeys"};

std::string mergedViewName(const std::string& table) {
  return "_tessel_tempdb_" + table;
}

}  // namespace

void Catalog::createTempdbViews(sqlite3* db, std::int64_t suffixBase) {
  // The session's own objects: its #tables and what hangs off them, not the
  // tables behind table variables (their names hold a '~').
  const std::string own =
      "SELECT id FROM temp.sysobjects o WHERE id >= " + std::to_string(kTemporaryIdBase) +
      " AND instr(name, '~') = 0 AND NOT EXISTS (SELECT 1 FROM temp.sysobjects p "
      "WHERE p.id = o.parent_obj AND instr(p.name, '~') > 0)";
  // SQL Server lists a #table under its name padded with underscores to
  // 116 characters, the last 12 a hexadecimal number that sets the
  // session's table apart from other sessions' tables of the same name.
  const std::string padded =
      "CASE WHEN name LIKE '#%' THEN name || substr('" + std::string(104, '_') +
      "', 1, max(0, 104 - length(name))) || printf('%012X', " + std::to_string(suffixBase) +
      " + id - " + std::to_string(kTemporaryIdBase) + ") ELSE name END";
  std::string sql;
  for (const char* table : kMergedTables) {
    const SysTable* def = nullptr;
    for (const auto& t : systemTables())
      if (std::string_view(t.name) == table) def = &t;
    std::string columns;
    for (const auto& c : def->columns) {
      if (!columns.empty()) columns += ", ";
      columns += std::string_view(table) == "sysobjects" && std::string_view(c.name) == "name"
                     ? padded + " AS name"
                     : quoteName(c.name);
    }
    sql += "CREATE TEMP VIEW IF NOT EXISTS " + mergedViewName(table) + " AS SELECT * FROM tempdb." +
           table + " UNION ALL SELECT " + columns + " FROM temp." + table + " WHERE id IN (" + own +
           ");";
  }
  execSql(db, sql);
}

std::string Catalog::tempdbView(const std::string& table) {
  for (const char* t : kMergedTables)
    if (iequals(table, t)) return mergedViewName(t);
  return {};
}

std::optional<SqlType> sqlTypeFromXtype(int xtype) {
  for (int t = 0; t <= static_cast<int>(SqlType::Xml); ++t)
    if (typeXtype(static_cast<SqlType>(t)) == xtype) return static_cast<SqlType>(t);
  return std::nullopt;
}

void Catalog::initialize(sqlite3* db, const std::string& schema, bool master) {
  std::string q = quoteName(schema);
  std::string sql = "BEGIN;";
  for (const auto& t : systemTables()) {
    if (t.masterOnly && !master) continue;
    sql += "CREATE TABLE IF NOT EXISTS " + q + "." + t.name + "(";
    bool first = true;
    for (const auto& c : t.columns) {
      if (!first) sql += ",";
      first = false;
      sql += quoteName(c.name) + " " + storageClause(parseSimpleType(c.type));
    }
    sql += ");";
  }
  sql += "CREATE TABLE IF NOT EXISTS " + q +
         "._tessel_identity(id INTEGER PRIMARY KEY, seed INTEGER, increment INTEGER, "
         "current INTEGER);";
  sql += "CREATE INDEX IF NOT EXISTS " + q + "._tessel_objects_name ON sysobjects(name);";
  sql += "CREATE INDEX IF NOT EXISTS " + q + "._tessel_columns_id ON syscolumns(id);";
  sql += "COMMIT;";
  execSql(db, sql);
  Catalog cat(db);
  // The catalog describes its own tables as system objects.
  std::int64_t id = 1;
  for (const auto& t : systemTables()) {
    if (t.masterOnly && !master) continue;
    cat.addObject(schema, id, t.name, "S");
    int colid = 1;
    for (const auto& c : t.columns) {
      ColumnInfo ci;
      ci.name = c.name;
      ci.type = parseSimpleType(c.type);
      ci.type.nullable = std::string_view(c.name) != "id" && std::string_view(c.name) != "name";
      ci.colid = colid++;
      cat.addColumn(schema, id, ci, 0);
    }
    ++id;
  }
  static const char* kTypes[] = {"image",
                                 "text",
                                 "uniqueidentifier",
                                 "tinyint",
                                 "smallint",
                                 "int",
                                 "smalldatetime",
                                 "real",
                                 "money",
                                 "datetime",
                                 "float",
                                 "ntext",
                                 "bit",
                                 "decimal",
                                 "numeric",
                                 "smallmoney",
                                 "bigint",
                                 "varbinary",
                                 "varchar",
                                 "binary",
                                 "char",
                                 "nvarchar",
                                 "nchar",
                                 "sysname",
                                 "date",
                                 "time",
                                 "datetime2",
                                 "datetimeoffset",
                                 "sql_variant",
                                 "xml"};
  for (const char* name : kTypes) {
    std::vector<int> args;
    if (std::string_view(name) == "varchar" || std::string_view(name) == "char" ||
        std::string_view(name) == "binary" || std::string_view(name) == "varbinary")
      args = {8000};
    if (std::string_view(name) == "nvarchar" || std::string_view(name) == "nchar") args = {4000};
    if (std::string_view(name) == "decimal" || std::string_view(name) == "numeric") args = {38, 38};
    TypeInfo t = *typeFromName(name, args);
    bool variable =
        t.type == SqlType::VarChar || t.type == SqlType::NVarChar || t.type == SqlType::VarBinary;
    int xusertype = std::string_view(name) == "sysname" ? 256 : typeXtype(t.type);
    execSql(db,
            "INSERT INTO " + q +
                ".systypes(name,xtype,status,xusertype,length,xprec,xscale,tdefault,domain,uid,"
                "reserved,collationid,usertype,variable,allownulls,type,prec,scale) "
                "VALUES(?,?,0,?,?,?,?,0,0,1,0,0,?,?,1,?,?,?)",
            {Stored::text(name), Stored::integer(typeXtype(t.type)), Stored::integer(xusertype),
             Stored::integer(t.length), Stored::integer(t.precision), Stored::integer(t.scale),
             Stored::integer(std::string_view(name) == "sysname" ? 256 : typeUserType(t.type)),
             Stored::integer(variable), Stored::integer(typeOldType(t)),
             Stored::integer(isDecimalType(t.type) ? t.precision : charLength(t)),
             Stored::integer(t.scale)});
  }
  execSql(db, "INSERT INTO " + q +
                  ".sysusers(uid,status,name,gid,issqluser,islogin) VALUES"
                  "(1,2,'dbo',0,1,1),(2,0,'guest',0,1,0),(0,0,'public',0,0,0)");
}

namespace {

// The schemas every database has, by their fixed ids.
constexpr std::pair<int, std::string_view> kFixedSchemas[] = {
    {kDboSchemaId, "dbo"}, {2, "guest"}, {3, "INFORMATION_SCHEMA"}, {kSysSchemaId, "sys"}};

// sysusers.status of a schema CREATE SCHEMA made.
constexpr int kSchemaStatus = 16;

// Matches the objects of T-SQL schema ?owner; system tables are in dbo and
// in sys alike.
constexpr const char* kOwnerMatch = " AND (uid = ? OR (xtype = 'S ' AND ? IN (1, 4)))";

}  // namespace

int Catalog::schemaId(const std::string& schema, const std::string& name) {
  for (const auto& [id, fixed] : kFixedSchemas)
    if (iequals(fixed, name)) return id;
  int id = 0;
  querySql(
      db_,
      "SELECT uid FROM " + quoteName(schema) +
          ".sysusers WHERE name = ? COLLATE TSQL_CI AND status = " + std::to_string(kSchemaStatus),
      {Stored::text(name)}, [&](sqlite3_stmt* s) { id = sqlite3_column_int(s, 0); });
  return id;
}

std::string Catalog::schemaName(const std::string& schema, int id) {
  for (const auto& [fixed, name] : kFixedSchemas)
    if (fixed == id) return std::string(name);
  std::string name;
  querySql(db_,
           "SELECT name FROM " + quoteName(schema) +
               ".sysusers WHERE uid = ? AND status = " + std::to_string(kSchemaStatus),
           {Stored::integer(id)}, [&](sqlite3_stmt* s) {
             name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
           });
  return name;
}

std::shared_ptr<const TableInfo> Catalog::table(const std::string& schema,
                                                const std::string& database,
                                                const std::string& name, int owner) {
  std::string key = lower(schema) + "\x1f" + std::to_string(owner) + "\x1f" + lower(name);
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  auto info = std::make_shared<TableInfo>();
  bool found = false;
  std::string q = quoteName(schema);
  querySql(
      db_,
      "SELECT id, name, xtype, status FROM " + q +
          ".sysobjects WHERE name = ? COLLATE TSQL_CI AND xtype IN ('U ','S ','V ')" + kOwnerMatch,
      {Stored::text(name), Stored::integer(owner), Stored::integer(owner)}, [&](sqlite3_stmt* s) {
        info->id = sqlite3_column_int64(s, 0);
        info->quotedIdentifier = (sqlite3_column_int64(s, 3) & kQuotedIdentifierBit) != 0;
        info->name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
        std::string x = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
        info->xtype = x.substr(0, 1);
        found = true;
      });
  if (!found) return nullptr;
  info->schema = schema;
  info->database = database;
  info->ownerId = info->xtype == "S" ? kDboSchemaId : owner;
  info->owner = schemaName(schema, info->ownerId);
  info->storedName = storedTableName(info->ownerId, info->owner, info->name);
  querySql(
      db_,
      "SELECT name, xtype, length, xprec, xscale, colid, isnullable, status, cdefault, "
      "colstat, collation, iscomputed FROM " +
          q + ".syscolumns WHERE id = ? AND number = 0 ORDER BY colid",
      {Stored::integer(info->id)}, [&](sqlite3_stmt* s) {
        ColumnInfo c;
        c.name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        c.rowversion = sqlite3_column_int(s, 1) == kTimestampXtype;
        auto type = c.rowversion ? SqlType::Binary : sqlTypeFromXtype(sqlite3_column_int(s, 1));
        c.type = makeType(type.value_or(SqlType::Int), sqlite3_column_int(s, 2),
                          static_cast<std::uint8_t>(sqlite3_column_int(s, 3)),
                          static_cast<std::uint8_t>(sqlite3_column_int(s, 4)));
        if (isCharType(c.type.type) || isBinaryType(c.type.type))
          if (!isLargeType(c.type.type)) c.type.length = sqlite3_column_int(s, 2);
        if (c.type.length < 0)
          c.type.length = c.type.type == SqlType::NVarChar ? kMaxLength - 1 : kMaxLength;
        c.colid = sqlite3_column_int(s, 5);
        c.type.nullable = sqlite3_column_int(s, 6) != 0;
        c.identity = (sqlite3_column_int(s, 7) & 0x80) != 0;
        c.ansiPadded = (sqlite3_column_int(s, 9) & kAnsiTrimColstat) == 0;
        c.persisted = (sqlite3_column_int(s, 9) & kPersistedColstat) != 0;
        if (sqlite3_column_int(s, 11) != 0)
          querySql(db_,
                   "SELECT text FROM " + q +
                       ".syscomments WHERE id = ? AND number = ? AND status = " +
                       std::to_string(kComputedTextStatus),
                   {Stored::integer(info->id), Stored::integer(c.colid)}, [&](sqlite3_stmt* d) {
                     c.computedText = reinterpret_cast<const char*>(sqlite3_column_text(d, 0));
                   });
        if (const auto* name = sqlite3_column_text(s, 10); name && isCharType(c.type.type))
          c.type.collation = collationId(reinterpret_cast<const char*>(name));
        std::int64_t defaultId = sqlite3_column_int64(s, 8);
        if (defaultId) {
          querySql(db_, "SELECT text FROM " + q + ".syscomments WHERE id = ?",
                   {Stored::integer(defaultId)}, [&](sqlite3_stmt* d) {
                     c.defaultText = reinterpret_cast<const char*>(sqlite3_column_text(d, 0));
                   });
        }
        if (c.identity) info->identityColumn = static_cast<int>(info->columns.size());
        info->columns.push_back(std::move(c));
      });
  if (info->xtype == "V") {
    querySql(db_, "SELECT text FROM " + q + ".syscomments WHERE id = ? ORDER BY colid",
             {Stored::integer(info->id)}, [&](sqlite3_stmt* s) {
               info->viewText += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
             });
  }
  if (info->xtype == "U" || info->xtype == "V") {
    querySql(db_,
             "SELECT id, name, status FROM " + q +
                 ".sysobjects WHERE parent_obj = ? AND xtype = 'TR' ORDER BY id",
             {Stored::integer(info->id)}, [&](sqlite3_stmt* s) {
               TriggerInfo t;
               t.id = sqlite3_column_int64(s, 0);
               t.name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
               std::int64_t status = sqlite3_column_int64(s, 2);
               t.events = static_cast<int>((status & kTriggerEventMask) >> kTriggerEventShift);
               t.insteadOf = (status & kTriggerInsteadOfBit) != 0;
               t.disabled = (status & kTriggerDisabledBit) != 0;
               info->triggers.push_back(std::move(t));
             });
  }
  if (info->identityColumn >= 0) {
    querySql(db_, "SELECT seed, increment FROM " + q + "._tessel_identity WHERE id = ?",
             {Stored::integer(info->id)}, [&](sqlite3_stmt* s) {
               info->identitySeed = sqlite3_column_int64(s, 0);
               info->identityIncrement = sqlite3_column_int64(s, 1);
             });
  }
  cache_[key] = info;
  return info;
}

std::optional<ProcInfo> Catalog::procedure(const std::string& schema, const std::string& name,
                                           int owner) {
  std::optional<ProcInfo> out;
  std::string q = quoteName(schema);
  querySql(db_,
           "SELECT id, name, status FROM " + q +
               ".sysobjects WHERE name = ? COLLATE TSQL_CI AND xtype = 'P ' AND uid = ?",
           {Stored::text(name), Stored::integer(owner)}, [&](sqlite3_stmt* s) {
             out = ProcInfo{sqlite3_column_int64(s, 0),
                            reinterpret_cast<const char*>(sqlite3_column_text(s, 1)), owner, "",
                            (sqlite3_column_int64(s, 2) & kQuotedIdentifierBit) != 0};
           });
  if (!out) return out;
  querySql(db_, "SELECT text FROM " + q + ".syscomments WHERE id = ? ORDER BY colid",
           {Stored::integer(out->id)}, [&](sqlite3_stmt* s) {
             out->text += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
           });
  return out;
}

std::optional<ProcInfo> Catalog::function(const std::string& schema, const std::string& name,
                                          int owner) {
  std::optional<ProcInfo> out;
  std::string q = quoteName(schema);
  querySql(db_,
           "SELECT id, name, status, xtype FROM " + q +
               ".sysobjects WHERE name = ? COLLATE TSQL_CI AND xtype IN ('FN', 'IF', 'TF') AND "
               "uid = ?",
           {Stored::text(name), Stored::integer(owner)}, [&](sqlite3_stmt* s) {
             out = ProcInfo{sqlite3_column_int64(s, 0),
                            reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                            owner,
                            "",
                            (sqlite3_column_int64(s, 2) & kQuotedIdentifierBit) != 0,
                            reinterpret_cast<const char*>(sqlite3_column_text(s, 3))};
           });
  if (out) out->text = objectText(schema, out->id, nullptr);
  return out;
}

std::int64_t Catalog::objectId(const std::string& schema, const std::string& name, int owner) {
  std::int64_t id = 0;
  querySql(db_,
           "SELECT id FROM " + quoteName(schema) + ".sysobjects WHERE name = ? COLLATE TSQL_CI" +
               kOwnerMatch,
           {Stored::text(name), Stored::integer(owner), Stored::integer(owner)},
           [&](sqlite3_stmt* s) { id = sqlite3_column_int64(s, 0); });
  return id;
}

std::int64_t Catalog::nextObjectId(const std::string& schema) {
  // User objects get ids in their own range; temporary ones a separate one so
  // that an id never names two objects a session can see.
  std::int64_t base = iequals(schema, "temp") ? kTemporaryIdBase : 2000000;
  std::int64_t id = base;
  querySql(db_, "SELECT max(id) FROM " + quoteName(schema) + ".sysobjects", {},
           [&](sqlite3_stmt* s) {
             if (sqlite3_column_type(s, 0) != SQLITE_NULL)
               id = std::max<std::int64_t>(base, sqlite3_column_int64(s, 0) + 1);
           });
  return id;
}

void Catalog::addObject(const std::string& schema, std::int64_t id, const std::string& name,
                        const std::string& xtype, std::int64_t parent, int owner) {
  std::string x = xtype.size() == 1 ? xtype + " " : xtype;
  std::int64_t now = nowTicks(false);
  const std::string q = quoteName(schema);
  // A constraint or trigger is in the schema of the object it belongs to.
  execSql(db_,
          "INSERT INTO " + q +
              ".sysobjects(name,id,xtype,uid,info,status,base_schema_ver,replinfo,parent_obj,"
              "crdate,ftcatid,schema_ver,stats_schema_ver,type,userstat,sysstat,indexdel,"
              "refdate,version,deltrig,instrig,updtrig,seltrig,category,cache) "
              "VALUES(?,?,?,coalesce((SELECT uid FROM " +
              q + ".sysobjects WHERE id = ?), ?),0,0,0,0,?,?,0,0,0,?,?,0,0,?,0,0,0,0,0,0,0)",
          {Stored::text(name), Stored::integer(id), Stored::text(x), Stored::integer(parent),
           Stored::integer(owner), Stored::integer(parent), Stored::integer(now), Stored::text(x),
           Stored::integer(x == "U " ? 1 : 0), Stored::integer(now)});
  cache_.clear();
}

void Catalog::addColumn(const std::string& schema, std::int64_t tableId, const ColumnInfo& c,
                        std::int64_t defaultId, bool isParam, bool isOutput) {
  const TypeInfo& t = c.type;
  int prec =
      isDecimalType(t.type) ? t.precision
      : isNumericType(t.type)
          ? (t.type == SqlType::Float  ? 53
             : t.type == SqlType::Real ? 24
                                       : static_cast<int>(t.precision ? t.precision
                                                                      : (t.length == 1   ? 3
                                                                         : t.length == 2 ? 5
                                                                         : t.length == 4 ? 10
                                                                                         : 19)))
      : isDateType(t.type) ? (t.type == SqlType::DateTime ? 23 : 16)
                           : (isMaxType(t) ? -1 : charLength(t));
  bool padsOrTrims = isCharType(t.type) || isBinaryType(t.type);
  int status = (c.identity ? 0x80 : 0) | (t.nullable ? 0x08 : 0) | (isOutput ? 0x40 : 0) |
               (c.ansiPadded && padsOrTrims ? kAnsiPaddedStatus : 0);
  const int xtype = c.rowversion ? kTimestampXtype : typeXtype(t.type);
  const int colstat = (c.ansiPadded ? 0 : kAnsiTrimColstat) | (c.persisted ? kPersistedColstat : 0);
  execSql(db_,
          "INSERT INTO " + quoteName(schema) +
              ".syscolumns(name,id,xtype,typestat,xusertype,length,xprec,xscale,colid,xoffset,"
              "bitpos,reserved,colstat,cdefault,domain,number,colorder,offset,collationid,"
              "language,status,type,usertype,prec,scale,iscomputed,isoutparam,isnullable,"
              "collation) VALUES(?,?,?,0,?,?,?,?,?,0,0,0,?,?,0,?,?,0,?,0,?,?,?,?,?,?,?,?,?)",
          {Stored::text(c.name),
           Stored::integer(tableId),
           Stored::integer(xtype),
           Stored::integer(xtype),
           Stored::integer(catalogLength(t)),
           Stored::integer(isDecimalType(t.type) ? t.precision : 0),
           Stored::integer(t.scale),
           Stored::integer(c.colid),
           Stored::integer(colstat),
           Stored::integer(defaultId),
           Stored::integer(isParam ? 1 : 0),
           Stored::integer(c.colid),
           collationIdColumn(t),
           Stored::integer(status),
           Stored::integer(typeOldType(t)),
           Stored::integer(c.rowversion ? kTimestampUserType : typeUserType(t.type)),
           Stored::integer(prec),
           isDecimalType(t.type) ? Stored::integer(t.scale) : Stored::null(),
           Stored::integer(c.computed() ? 1 : 0),
           Stored::integer(isOutput ? 1 : 0),
           Stored::integer(t.nullable ? 1 : 0),
           isCharType(t.type) ? Stored::text(collationName(t.collation)) : Stored::null()});
  if (c.computed())
    execSql(db_,
            "INSERT INTO " + quoteName(schema) +
                ".syscomments(id,number,colid,status,texttype,language,encrypted,compressed,text) "
                "VALUES(?,?,1,?,2,0,0,0,?)",
            {Stored::integer(tableId), Stored::integer(c.colid),
             Stored::integer(kComputedTextStatus), Stored::text(c.computedText)});
  cache_.clear();
}

void Catalog::addComment(const std::string& schema, std::int64_t id, const std::string& text) {
  execSql(db_,
          "INSERT INTO " + quoteName(schema) +
              ".syscomments(id,number,colid,status,texttype,language,encrypted,compressed,text) "
              "VALUES(?,1,1,0,2,0,0,0,?)",
          {Stored::integer(id), Stored::text(text)});
}

void Catalog::setTriggerEvents(const std::string& schema, std::int64_t id, int events,
                               bool insteadOf) {
  std::int64_t bits = (static_cast<std::int64_t>(events) << kTriggerEventShift) |
                      (insteadOf ? kTriggerInsteadOfBit : 0);
  execSql(db_,
          "UPDATE " + quoteName(schema) + ".sysobjects SET status = (status & ~?) | ? WHERE id = ?",
          {Stored::integer(kTriggerEventMask | kTriggerInsteadOfBit), Stored::integer(bits),
           Stored::integer(id)});
  cache_.clear();
}

void Catalog::setTriggerDisabled(const std::string& schema, std::int64_t id, bool disabled) {
  execSql(db_,
          "UPDATE " + quoteName(schema) + ".sysobjects SET status = (status & ~?) | ? WHERE id = ?",
          {Stored::integer(kTriggerDisabledBit),
           Stored::integer(disabled ? kTriggerDisabledBit : 0), Stored::integer(id)});
  cache_.clear();
}

std::string Catalog::objectText(const std::string& schema, std::int64_t id,
                                bool* quotedIdentifier) {
  std::string q = quoteName(schema);
  std::string text;
  querySql(db_,
           "SELECT text FROM " + q + ".syscomments WHERE id = ? AND status <> " +
               std::to_string(kComputedTextStatus) + " ORDER BY colid",
           {Stored::integer(id)}, [&](sqlite3_stmt* s) {
             text += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
           });
  if (quotedIdentifier) {
    *quotedIdentifier = false;
    querySql(db_, "SELECT status FROM " + q + ".sysobjects WHERE id = ?", {Stored::integer(id)},
             [&](sqlite3_stmt* s) {
               *quotedIdentifier = (sqlite3_column_int64(s, 0) & kQuotedIdentifierBit) != 0;
             });
  }
  return text;
}

void Catalog::setQuotedIdentifier(const std::string& schema, std::int64_t id, bool on) {
  execSql(db_,
          "UPDATE " + quoteName(schema) + ".sysobjects SET status = (status & ~?) | ? WHERE id = ?",
          {Stored::integer(kQuotedIdentifierBit), Stored::integer(on ? kQuotedIdentifierBit : 0),
           Stored::integer(id)});
  cache_.clear();
}

void Catalog::addIndex(const std::string& schema, std::int64_t tableId, int indid,
                       const std::string& name, int status, const std::vector<int>& colids) {
  std::string q = quoteName(schema);
  execSql(db_,
          "INSERT INTO " + q +
              ".sysindexes(id,status,indid,minlen,keycnt,groupid,dpages,reserved,used,rowcnt,"
              "rowmodctr,xmaxlen,maxirow,OrigFillFactor,name,rows) "
              "VALUES(?,?,?,0,?,1,0,0,0,0,0,0,0,0,?,0)",
          {Stored::integer(tableId), Stored::integer(status), Stored::integer(indid),
           Stored::integer(static_cast<std::int64_t>(colids.size())), Stored::text(name)});
  for (std::size_t i = 0; i < colids.size(); ++i)
    execSql(db_, "INSERT INTO " + q + ".sysindexkeys(id,indid,colid,keyno) VALUES(?,?,?,?)",
            {Stored::integer(tableId), Stored::integer(indid), Stored::integer(colids[i]),
             Stored::integer(static_cast<std::int64_t>(i + 1))});
}

std::int64_t Catalog::nextIndexId(const std::string& schema, std::int64_t tableId) {
  std::int64_t next = 2;
  querySql(db_, "SELECT max(indid) FROM " + quoteName(schema) + ".sysindexes WHERE id = ?",
           {Stored::integer(tableId)}, [&](sqlite3_stmt* s) {
             if (sqlite3_column_type(s, 0) != SQLITE_NULL)
               next = std::max<std::int64_t>(2, sqlite3_column_int64(s, 0) + 1);
           });
  return next;
}

std::string Catalog::clusteredIndexName(const std::string& schema, std::int64_t tableId) {
  std::string name;
  querySql(db_, "SELECT name FROM " + quoteName(schema) + ".sysindexes WHERE id = ? AND indid = 1",
           {Stored::integer(tableId)}, [&](sqlite3_stmt* s) {
             name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
           });
  return name;
}

void Catalog::setIdentity(const std::string& schema, std::int64_t tableId, std::int64_t seed,
                          std::int64_t increment) {
  execSql(db_,
          "INSERT OR REPLACE INTO " + quoteName(schema) +
              "._tessel_identity(id, seed, increment, current) VALUES(?,?,?,NULL)",
          {Stored::integer(tableId), Stored::integer(seed), Stored::integer(increment)});
}

void Catalog::dropObject(const std::string& schema, std::int64_t id) {
  std::string q = quoteName(schema);
  std::vector<Stored> p = {Stored::integer(id)};
  std::vector<std::int64_t> children;
  querySql(db_, "SELECT id FROM " + q + ".sysobjects WHERE parent_obj = ?", p,
           [&](sqlite3_stmt* s) { children.push_back(sqlite3_column_int64(s, 0)); });
  for (std::int64_t child : children) dropObject(schema, child);
  execSql(db_, "DELETE FROM " + q + ".sysobjects WHERE id = ?", p);
  execSql(db_, "DELETE FROM " + q + ".syscolumns WHERE id = ?", p);
  execSql(db_, "DELETE FROM " + q + ".syscomments WHERE id = ?", p);
  execSql(db_, "DELETE FROM " + q + ".sysindexes WHERE id = ?", p);
  execSql(db_, "DELETE FROM " + q + ".sysindexkeys WHERE id = ?", p);
  execSql(db_, "DELETE FROM " + q + "._tessel_identity WHERE id = ?", p);
  cache_.clear();
}

std::string Catalog::constraintName(const std::string& schema, std::int64_t tableId,
                                    const std::string& xtype) {
  std::string name;
  std::string x = xtype.size() == 1 ? xtype + " " : xtype;
  querySql(db_,
           "SELECT name FROM " + quoteName(schema) +
               ".sysobjects WHERE parent_obj = ? AND xtype = ? ORDER BY id",
           {Stored::integer(tableId), Stored::text(x)}, [&](sqlite3_stmt* s) {
             if (name.empty()) name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
           });
  return name;
}

}  // namespace tessel::sqld::engine
