// The metadata functions: objects and columns by name or id (OBJECT_ID,
// OBJECTPROPERTY, COL_LENGTH, COLUMNPROPERTY ...), schemas (SCHEMA_NAME,
// SCHEMA_ID, as sys.schemas lists them), the server's collation and the
// server's properties (constants of this server). They look up the current
// database's system tables.

#include <unistd.h>

#include <array>
#include <climits>

#include "builtin.h"
#include "collations.h"
#include "convert.h"
#include "errors.h"
#include "lexer.h"
#include "sqld/product_version.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo intType() {
  return makeType(SqlType::Int);
}
TypeInfo sysname() {
  return makeType(SqlType::NVarChar, 256);
}

// A name argument: character values as they are, others as nvarchar(4000).
std::string nameText(Call& c, std::size_t i) {
  Typed a = c.arg(i);
  if (!isCharType(a.type.type) && !a.nullLiteral)
    a.sql = c.convert(a, makeType(SqlType::NVarChar, 4000));
  return a.sql;
}

std::string machineName() {
  std::array<char, HOST_NAME_MAX + 1> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return "localhost";
  return name.data();
}

// A property's value as a sql_variant literal of the base type SQL Server
// documents for it.
std::string variantText(const std::string& s) {
  TypeInfo t = makeType(SqlType::NVarChar, 256);
  return sqlLiteral(variantStored(Stored::text(s), t));
}

std::string variantInt(std::int64_t v, SqlType type = SqlType::Int) {
  return sqlLiteral(variantStored(Stored::integer(v), makeType(type)));
}

// The schemas every database has (by their fixed ids) and the ones CREATE
// SCHEMA added, as sys.schemas lists them.
std::string schemaList(const std::string& db) {
  return "(SELECT 'dbo' AS name, 1 AS id UNION ALL SELECT 'guest', 2 UNION ALL SELECT "
         "'INFORMATION_SCHEMA', 3 UNION ALL SELECT 'sys', 4 UNION ALL SELECT name, uid FROM " +
         db + "sysusers WHERE status = 16)";
}

Typed objectId(Call& c) {
  const std::string name = c.text(0).sql;
  const std::string db = c.db();
  std::string n = "t_objname(" + name + ")";
  const std::string owner = schemaIdOfName(db, name);
  // #names are the session's own; ##names and tempdb's other objects are
  // shared.
  return make("CASE WHEN " + n + " LIKE '#%' AND " + n +
                  " NOT LIKE '##%' THEN (SELECT id FROM temp.sysobjects WHERE name = " + n +
                  " COLLATE TSQL_CI) WHEN " + n + " LIKE '##%' OR t_objdb(" + name +
                  ") = 'tempdb' COLLATE TSQL_CI THEN (SELECT id FROM tempdb.sysobjects WHERE "
                  "name = " +
                  n + " COLLATE TSQL_CI) ELSE coalesce((SELECT id FROM " + db +
                  "sysobjects WHERE name = " + n + " COLLATE TSQL_CI AND (uid = " + owner +
                  " OR (xtype = 'S ' AND " + owner +
                  " IN (1, 4)))), (SELECT id FROM temp.sysobjects WHERE name = " + n +
                  " COLLATE TSQL_CI)) END",
              intType());
}

// OBJECTPROPERTY(id, property): the kind of an object and the properties
// of a trigger; NULL for no such object or a property that does not apply.
Typed objectProperty(Call& c) {
  std::string id = c.integer(0);
  std::string property = "upper(" + c.text(1).sql + ")";
  auto triggerBit = [](const char* name, const char* test) {
    return std::string(" WHEN '") + name + "' THEN CASE WHEN xtype = 'TR' THEN " + test + " END";
  };
  return make("(SELECT CASE " + property +
                  triggerBit("EXECISTRIGGERDISABLED", "status & 2048 <> 0") +
                  triggerBit("EXECISINSTEADOFTRIGGER", "status & 65536 <> 0") +
                  triggerBit("EXECISAFTERTRIGGER", "status & 65536 = 0") +
                  triggerBit("EXECISINSERTTRIGGER", "status & 256 <> 0") +
                  triggerBit("EXECISUPDATETRIGGER", "status & 512 <> 0") +
                  triggerBit("EXECISDELETETRIGGER", "status & 1024 <> 0") +
                  " WHEN 'ISTRIGGER' THEN xtype = 'TR' WHEN 'ISVIEW' THEN xtype = 'V'"
                  " WHEN 'ISPROCEDURE' THEN xtype = 'P' WHEN 'ISUSERTABLE' THEN xtype = 'U'"
                  " WHEN 'ISTABLE' THEN xtype IN ('U', 'S') END FROM " +
                  c.db() + "sysobjects WHERE id = " + id + ")",
              intType());
}

Typed objectName(Call& c) {
  return make("(SELECT name FROM " + c.db() + "sysobjects WHERE id = " + c.integer(0) + ")",
              sysname());
}

// The text of a module (view, procedure, function, trigger) or of a
// default or check; NULL for tables and for no such object.
Typed objectDefinition(Call& c) {
  return make("(SELECT group_concat(text, '') FROM (SELECT text FROM " + c.db() +
                  "syscomments WHERE id = " + c.integer(0) + " AND status <> 2 ORDER BY colid))",
              makeType(SqlType::NVarChar, kMaxLength - 1));
}

Typed objectSchemaName(Call& c) {
  const std::string db = c.db();
  return make("(SELECT s.name FROM " + db + "sysobjects o JOIN " + schemaList(db) +
                  " s ON s.id = o.uid WHERE o.id = " + c.integer(0) + ")",
              sysname());
}

Typed colName(Call& c) {
  return make("(SELECT name FROM " + c.db() + "syscolumns WHERE id = " + c.integer(0) +
                  " AND colid = " + c.integer(1) + " AND number = 0)",
              sysname());
}

// INDEXKEY_PROPERTY(table id, index id, key number, property): the key's
// column and its order; NULL for no such key or property.
Typed indexKeyProperty(Call& c) {
  const std::string db = c.db();
  const std::string schema = quoteText(c.context().schemaFor(""));
  std::string table = c.integer(0), index = c.integer(1), key = c.integer(2);
  return make("(SELECT CASE upper(" + c.text(3).sql + ") WHEN 'COLUMNID' THEN colid " +
                  "WHEN 'ISDESCENDING' THEN t_indexkeydesc(" + schema + ", " + table + ", " +
                  index + ", " + key + ") END FROM " + db + "sysindexkeys WHERE id = " + table +
                  " AND indid = " + index + " AND keyno = " + key + ")",
              intType());
}

Typed colLength(Call& c) {
  const std::string db = c.db();
  return make("(SELECT c.length FROM " + db + "syscolumns c JOIN " + db +
                  "sysobjects o ON o.id = c.id WHERE o.name = t_objname(" + c.text(0).sql +
                  ") COLLATE TSQL_CI AND o.uid = " + schemaIdOfName(db, c.text(0).sql) +
                  " AND c.name = " + c.text(1).sql + " COLLATE TSQL_CI)",
              makeType(SqlType::SmallInt));
}

// UsesAnsiTrim: created with ANSI_PADDING off (syscolumns.colstat 0x2000);
// AllowsNull. NULL for a column that does not exist or another property.
Typed columnProperty(Call& c) {
  std::string id = c.integer(0), column = c.text(1).sql;
  std::string match =
      " WHERE id = " + id + " AND number = 0 AND name = " + column + " COLLATE TSQL_CI";
  return make("(SELECT CASE upper(" + c.text(2).sql +
                  ") WHEN 'USESANSITRIM' THEN CASE WHEN colstat & 8192 = 0 THEN 0 ELSE 1 END "
                  "WHEN 'ALLOWSNULL' THEN isnullable WHEN 'ISCOMPUTED' THEN iscomputed "
                  "WHEN 'ISIDENTITY' THEN CASE WHEN status & 128 = 0 THEN 0 ELSE 1 END END "
                  "FROM (SELECT colstat, isnullable, iscomputed, status FROM " +
                  c.db() + "syscolumns" + match +
                  " UNION ALL SELECT colstat, isnullable, iscomputed, status FROM temp.syscolumns" +
                  match +
                  " UNION ALL SELECT colstat, isnullable, iscomputed, status FROM "
                  "tempdb.syscolumns" +
                  match + ") LIMIT 1)",
              intType());
}

// Of the one collation the server has (fn_helpcollations).
Typed collationProperty(Call& c) {
  return make("t_collationproperty(" + c.text(0).sql + ", " + c.text(1).sql + ")",
              makeType(SqlType::Variant));
}

// The collation of an existing database. Other properties are not kept.
Typed databasePropertyEx(Call& c) {
  return make("(CASE WHEN upper(" + c.text(1).sql + ") = 'COLLATION' THEN t_database_collation(" +
                  c.text(0).sql + ", 1) END)",
              makeType(SqlType::Variant));
}

// Without an argument: the caller's default schema.
Typed schemaName(Call& c) {
  if (c.size() == 0) return make("'dbo'", sysname());
  Typed id = c.arg(0);
  std::string idSql =
      isIntegerType(id.type.type) || id.nullLiteral ? id.sql : c.convert(id, intType());
  return make("(SELECT name FROM " + schemaList(c.db()) + " WHERE id = " + idSql + ")", sysname());
}

Typed schemaId(Call& c) {
  if (c.size() == 0) return make("1", intType());
  return make("(SELECT id FROM " + schemaList(c.db()) + " WHERE name = " + nameText(c, 0) +
                  " COLLATE TSQL_CI)",
              intType());
}

Typed serverProperty(Call& c) {
  const std::string host = variantText(machineName());
  Typed server = make(c.param("@@SERVERNAME"), sysname());
  TypeInfo datetime = makeType(SqlType::DateTime);
  Stored released = convertValue(Stored::text(kProductReleased), makeType(SqlType::VarChar, 30),
                                 datetime, 0, c.context().settings());
  // Properties that do not apply to this server (InstanceName of a default
  // instance, NumLicenses, the update level of an RTM build ...) are NULL,
  // as are names that are no property.
  const std::pair<const char*, std::string> properties[] = {
      {"BUILDCLRVERSION", variantText("v4.0.30319")},
      {"COLLATION", variantText("SQL_Latin1_General_CP1_CI_AS")},
      {"COLLATIONID", variantInt(872468488)},
      {"COMPARISONSTYLE", variantInt(196609)},
      {"COMPUTERNAMEPHYSICALNETBIOS", host},
      {"EDITION", variantText("Developer Edition (64-bit)")},
      {"EDITIONID", variantInt(-2117995310, SqlType::BigInt)},
      {"ENGINEEDITION", variantInt(3)},
      {"FILESTREAMCONFIGUREDLEVEL", variantInt(0)},
      {"FILESTREAMEFFECTIVELEVEL", variantInt(0)},
      {"FILESTREAMSHARENAME", variantText("MSSQLSERVER")},
      {"ISADVANCEDANALYTICSINSTALLED", variantInt(0)},
      {"ISBIGDATACLUSTER", variantInt(0)},
      {"ISCLUSTERED", variantInt(0)},
      {"ISFULLTEXTINSTALLED", variantInt(0)},
      {"ISHADRENABLED", variantInt(0)},
      {"ISINTEGRATEDSECURITYONLY", variantInt(0)},
      {"ISLOCALDB", variantInt(0)},
      {"ISPOLYBASEINSTALLED", variantInt(0)},
      {"ISSINGLEUSER", variantInt(0)},
      {"ISTEMPDBMETADATAMEMORYOPTIMIZED", variantInt(0)},
      {"ISXTPSUPPORTED", variantInt(0)},
      {"LCID", variantInt(1033)},
      {"LICENSETYPE", variantText("DISABLED")},
      {"MACHINENAME", host},
      {"PROCESSID", variantInt(getpid())},
      {"PRODUCTBUILD", variantText(std::to_string(kProductBuild))},
      {"PRODUCTLEVEL", variantText("RTM")},
      {"PRODUCTMAJORVERSION", variantText(std::to_string(kProductMajor))},
      {"PRODUCTMINORVERSION", variantText(std::to_string(kProductMinor))},
      {"PRODUCTVERSION", variantText(kProductVersion)},
      {"RESOURCELASTUPDATEDATETIME", sqlLiteral(variantStored(released, datetime))},
      {"RESOURCEVERSION",
       variantText(std::to_string(kProductMajor) + (kProductMinor < 10 ? ".0" : ".") +
                   std::to_string(kProductMinor) + "." + std::to_string(kProductBuild))},
      {"SERVERNAME", c.convert(server, makeType(SqlType::Variant))},
      {"SQLCHARSET", variantInt(1, SqlType::TinyInt)},
      {"SQLCHARSETNAME", variantText("iso_1")},
      {"SQLSORTORDER", variantInt(52, SqlType::TinyInt)},
      {"SQLSORTORDERNAME", variantText("nocase_iso")},
  };
  std::string sql = "(CASE upper(" + nameText(c, 0) + ")";
  for (const auto& [name, value] : properties)
    sql += std::string(" WHEN '") + name + "' THEN " + value;
  return make(sql + " END)", makeType(SqlType::Variant));
}

constexpr Function kFunctions[] = {
    {"COL_LENGTH", 2, 2, colLength},
    {"COL_NAME", 2, 2, colName},
    {"COLLATIONPROPERTY", 2, 2, collationProperty},
    {"COLUMNPROPERTY", 3, 3, columnProperty},
    {"DATABASEPROPERTYEX", 2, 2, databasePropertyEx},
    {"INDEXKEY_PROPERTY", 4, 4, indexKeyProperty},
    {"OBJECT_DEFINITION", 1, 1, objectDefinition},
    {"OBJECT_ID", 1, 2, objectId},
    {"OBJECT_NAME", 1, 2, objectName},
    {"OBJECT_SCHEMA_NAME", 1, 2, objectSchemaName},
    {"OBJECTPROPERTY", 2, 2, objectProperty},
    {"SCHEMA_ID", 0, 1, schemaId},
    {"SCHEMA_NAME", 0, 1, schemaName},
    {"SERVERPROPERTY", 1, 1, serverProperty},
};

}  // namespace

std::string schemaIdOfName(const std::string& db, const std::string& name) {
  const std::string schema = "t_objschema(" + name + ")";
  return "(CASE WHEN " + schema + " = '' THEN 1 ELSE (SELECT id FROM " + schemaList(db) +
         " WHERE name = " + schema + " COLLATE TSQL_CI) END)";
}

std::span<const Function> metadataFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
