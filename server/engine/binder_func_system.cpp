// Binding of the server and schema metadata functions: SERVERPROPERTY,
// SCHEMA_NAME and SCHEMA_ID. Their answers are constants of this server or
// lookups in the schema list sys.schemas shows.

#include <unistd.h>

#include <array>
#include <climits>

#include "binder.h"
#include "binder_func_args.h"
#include "convert.h"
#include "errors.h"
#include "lexer.h"
#include "sqld/product_version.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

using func_args::expectArgs;
using func_args::make;

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

}  // namespace

std::optional<Typed> Binder::bindSystemFunction(const Expr& e, Scope& scope) {
  const std::string& fn = e.op;
  auto text = [&](std::size_t i) {
    Typed a = bindExpr(*e.args[i], scope);
    if (!isCharType(a.type.type) && !a.nullLiteral)
      a.sql = convertSql(a, makeType(SqlType::NVarChar, 4000));
    return a.sql;
  };
  const std::string db = quoteName(ctx_.schemaFor("")) + ".";
  TypeInfo sysname = makeType(SqlType::NVarChar, 256);
  if (fn == "SCHEMA_NAME") {
    // Without an argument: the caller's default schema.
    expectArgs(e, 0, 1);
    if (e.args.empty()) return make("'dbo'", sysname);
    Typed id = bindExpr(*e.args[0], scope);
    std::string idSql = isIntegerType(id.type.type) || id.nullLiteral
                            ? id.sql
                            : convertSql(id, makeType(SqlType::Int));
    return make("(SELECT name FROM " + schemaList(db) + " WHERE id = " + idSql + ")", sysname);
  }
  if (fn == "SCHEMA_ID") {
    expectArgs(e, 0, 1);
    if (e.args.empty()) return make("1", makeType(SqlType::Int));
    return make(
        "(SELECT id FROM " + schemaList(db) + " WHERE name = " + text(0) + " COLLATE TSQL_CI)",
        makeType(SqlType::Int));
  }
  if (fn == "SERVERPROPERTY") {
    expectArgs(e, 1, 1);
    const std::string host = variantText(machineName());
    Typed server = make(param("@@SERVERNAME"), sysname);
    TypeInfo datetime = makeType(SqlType::DateTime);
    Stored released = convertValue(Stored::text("2012-02-10T20:02:00"),
                                   makeType(SqlType::VarChar, 30), datetime, 0, ctx_.settings());
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
         variantText(std::to_string(kProductMajor) + ".0" + std::to_string(kProductMinor) + "." +
                     std::to_string(kProductBuild))},
        {"SERVERNAME", convertSql(server, makeType(SqlType::Variant))},
        {"SQLCHARSET", variantInt(1, SqlType::TinyInt)},
        {"SQLCHARSETNAME", variantText("iso_1")},
        {"SQLSORTORDER", variantInt(52, SqlType::TinyInt)},
        {"SQLSORTORDERNAME", variantText("nocase_iso")},
    };
    std::string sql = "(CASE upper(" + text(0) + ")";
    for (const auto& [name, value] : properties)
      sql += std::string(" WHEN '") + name + "' THEN " + value;
    return make(sql + " END)", makeType(SqlType::Variant));
  }
  return std::nullopt;
}

}  // namespace tessel::sqld::engine
