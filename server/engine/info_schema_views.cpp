// The INFORMATION_SCHEMA views of constraints and parameters, as view texts
// over the compatibility tables. The binder fills in $db, $dbname, $catalog
// and $schema (the schema of sysobjects row o) for the database they read.

#include "lexer.h"
#include "sys_views.h"

namespace tessel::sqld::engine {
namespace {

const char* kCatalog = "CAST($catalog AS nvarchar(128))";

// The columns naming a constraint o of table t.
std::string constraintNaming() {
  return std::string(kCatalog) +
         " AS CONSTRAINT_CATALOG, $schema AS CONSTRAINT_SCHEMA, "
         "o.name AS CONSTRAINT_NAME";
}
std::string tableNaming() {
  return std::string(kCatalog) +
         " AS TABLE_CATALOG, $schema AS TABLE_SCHEMA, CAST(t.name AS nvarchar(128)) AS TABLE_NAME";
}

const char* kConstraintOfTable =
    " FROM $db.sysobjects o JOIN $db.sysobjects t ON t.id = o.parent_obj";

// The key columns of primary, unique and foreign keys, as (o, t, c, position).
std::string keyColumns(const std::string& columns) {
  return "SELECT " + columns + ", CAST(k.keyno AS int) AS ORDINAL_POSITION" + kConstraintOfTable +
         " JOIN $db.sysindexes i ON i.id = o.parent_obj AND i.name = o.name "
         "JOIN $db.sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
         "JOIN $db.syscolumns c ON c.id = k.id AND c.colid = k.colid AND c.number = 0 "
         "WHERE o.xtype IN ('PK', 'UQ') UNION ALL SELECT " +
         columns + ", CAST(k.n AS int)" + kConstraintOfTable + " CROSS JOIN " +
         foreignKeyNumbers() +
         " JOIN $db.syscolumns c ON c.id = o.parent_obj AND c.number = 0 "
         "AND c.name = _TESSEL_FOREIGN_KEY(o.id, 'column', k.n, '$dbname') WHERE o.xtype = 'F '";
}

std::string tableConstraints() {
  return "CREATE VIEW TABLE_CONSTRAINTS AS SELECT " + constraintNaming() + ", " + tableNaming() +
         ", CAST(CASE rtrim(o.xtype) WHEN 'PK' THEN 'PRIMARY KEY' WHEN 'UQ' THEN 'UNIQUE' "
         "WHEN 'F' THEN 'FOREIGN KEY' ELSE 'CHECK' END AS varchar(11)) AS CONSTRAINT_TYPE, "
         "CAST('NO' AS varchar(2)) AS IS_DEFERRABLE, CAST('NO' AS varchar(2)) AS "
         "INITIALLY_DEFERRED" +
         kConstraintOfTable + " WHERE o.xtype IN ('PK', 'UQ', 'F ', 'C ')";
}

std::string keyColumnUsage() {
  return "CREATE VIEW KEY_COLUMN_USAGE AS " +
         keyColumns(constraintNaming() + ", " + tableNaming() +
                    ", CAST(c.name AS nvarchar(128)) AS COLUMN_NAME");
}

// Key columns, and the columns a check constraint's text names.
std::string constraintColumnUsage() {
  std::string columns =
      tableNaming() + ", CAST(c.name AS nvarchar(128)) AS COLUMN_NAME, " + constraintNaming();
  std::string keys = keyColumns(columns);
  return "CREATE VIEW CONSTRAINT_COLUMN_USAGE AS SELECT u.TABLE_CATALOG, u.TABLE_SCHEMA, "
         "u.TABLE_NAME, u.COLUMN_NAME, u.CONSTRAINT_CATALOG, "
         "u.CONSTRAINT_SCHEMA, u.CONSTRAINT_NAME FROM (" +
         keys + " UNION ALL SELECT " + columns + ", 0" + kConstraintOfTable +
         " JOIN $db.syscomments cm ON cm.id = o.id "
         "JOIN $db.syscolumns c ON c.id = o.parent_obj AND c.number = 0 "
         "AND ' ' + cm.text + ' ' LIKE '%[^a-z0-9_@#$]' + c.name + '[^a-z0-9_@#$]%' "
         "WHERE o.xtype = 'C ') u";
}

std::string checkConstraints() {
  return "CREATE VIEW CHECK_CONSTRAINTS AS SELECT " + constraintNaming() +
         ", CAST(cm.text AS nvarchar(4000)) AS CHECK_CLAUSE FROM $db.sysobjects o "
         "JOIN $db.syscomments cm ON cm.id = o.id WHERE o.xtype = 'C '";
}

// A foreign key's rule as the view spells it, from its sys.foreign_keys code.
std::string rule(const char* which) {
  return std::string("CAST(CASE _TESSEL_FOREIGN_KEY(o.id, '") + which +
         "', 0, '$dbname') WHEN 1 THEN 'CASCADE' WHEN 2 THEN 'SET NULL' "
         "WHEN 3 THEN 'SET DEFAULT' ELSE 'NO ACTION' END AS varchar(11))";
}

std::string referentialConstraints() {
  return "CREATE VIEW REFERENTIAL_CONSTRAINTS AS SELECT " + constraintNaming() + ", " + kCatalog +
         " AS UNIQUE_CONSTRAINT_CATALOG, CAST((SELECT u.name FROM $db.sysusers u WHERE u.uid = "
         "r.uid) AS nvarchar(128)) AS UNIQUE_CONSTRAINT_SCHEMA, "
         "CAST(ui.name AS nvarchar(128)) AS UNIQUE_CONSTRAINT_NAME, "
         "CAST('SIMPLE' AS varchar(7)) AS MATCH_OPTION, " +
         rule("update") + " AS UPDATE_RULE, " + rule("delete") +
         " AS DELETE_RULE FROM $db.sysobjects o JOIN $db.sysobjects r ON r.id = o.info "
         "LEFT JOIN $db.sysindexes ui ON ui.id = o.info "
         "AND ui.indid = _TESSEL_FOREIGN_KEY(o.id, 'key_index', 0, '$dbname') "
         "WHERE o.xtype = 'F '";
}

// The parameters of procedures and functions, by their syscolumns rows.
std::string parameters() {
  return std::string("CREATE VIEW PARAMETERS AS SELECT ") + kCatalog +
         " AS SPECIFIC_CATALOG, $schema AS SPECIFIC_SCHEMA, "
         "CAST(o.name AS nvarchar(128)) AS SPECIFIC_NAME, CAST(c.colid AS int) AS "
         "ORDINAL_POSITION, "
         "CAST(CASE WHEN c.isoutparam = 1 THEN 'INOUT' ELSE 'IN' END AS nvarchar(10)) AS "
         "PARAMETER_MODE, CAST('NO' AS nvarchar(10)) AS IS_RESULT, "
         "CAST('NO' AS nvarchar(10)) AS AS_LOCATOR, CAST(c.name AS nvarchar(128)) AS "
         "PARAMETER_NAME, CAST(t.name AS nvarchar(128)) AS DATA_TYPE, "
         "CASE WHEN c.xtype IN (167, 175, 231, 239, 165, 173) THEN CAST(c.prec AS int) "
         "WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = 99 THEN 1073741823 END "
         "AS CHARACTER_MAXIMUM_LENGTH, "
         "CASE WHEN c.xtype IN (167, 175, 231, 239, 165, 173) THEN CAST(c.length AS int) "
         "WHEN c.xtype IN (35, 34, 99) THEN 2147483647 END AS CHARACTER_OCTET_LENGTH, "
         "CAST(NULL AS nvarchar(128)) AS COLLATION_CATALOG, "
         "CAST(NULL AS nvarchar(128)) AS COLLATION_SCHEMA, "
         "CAST(c.collation AS nvarchar(128)) AS COLLATION_NAME, "
         "CAST(NULL AS nvarchar(128)) AS CHARACTER_SET_CATALOG, "
         "CAST(NULL AS nvarchar(128)) AS CHARACTER_SET_SCHEMA, "
         "CAST(CASE WHEN c.xtype IN (35, 167, 175) THEN 'iso_1' WHEN c.xtype IN (99, 231, 239) "
         "THEN 'UNICODE' END AS nvarchar(128)) AS CHARACTER_SET_NAME, "
         "CAST(CASE WHEN c.xtype IN (48, 52, 56, 127, 59, 62, 106, 108, 60, 122) THEN c.prec END "
         "AS tinyint) AS NUMERIC_PRECISION, "
         "CAST(CASE WHEN c.xtype IN (59, 62) THEN 2 "
         "WHEN c.xtype IN (48, 52, 56, 127, 106, 108, 60, 122) THEN 10 END AS smallint) "
         "AS NUMERIC_PRECISION_RADIX, "
         "CASE WHEN c.xtype IN (48, 52, 56, 127, 106, 108, 60, 122) THEN CAST(c.xscale AS int) END "
         "AS NUMERIC_SCALE, "
         "CAST(CASE WHEN c.xtype IN (61, 58) THEN 3 END AS smallint) AS DATETIME_PRECISION, "
         "CAST(NULL AS nvarchar(30)) AS INTERVAL_TYPE, CAST(NULL AS smallint) AS "
         "INTERVAL_PRECISION, CAST(NULL AS nvarchar(128)) AS USER_DEFINED_TYPE_CATALOG, "
         "CAST(NULL AS nvarchar(128)) AS USER_DEFINED_TYPE_SCHEMA, "
         "CAST(NULL AS nvarchar(128)) AS USER_DEFINED_TYPE_NAME, "
         "CAST(NULL AS nvarchar(128)) AS SCOPE_CATALOG, CAST(NULL AS nvarchar(128)) AS "
         "SCOPE_SCHEMA, CAST(NULL AS nvarchar(128)) AS SCOPE_NAME "
         "FROM $db.sysobjects o JOIN $db.syscolumns c ON c.id = o.id AND c.number = 1 "
         "JOIN $db.systypes t ON t.xusertype = c.xusertype "
         "WHERE o.xtype IN ('P ', 'FN', 'IF', 'TF') AND c.name LIKE '@%'";
}

}  // namespace

std::optional<std::string> constraintInfoViewText(const std::string& view) {
  if (iequals(view, "TABLE_CONSTRAINTS")) return tableConstraints();
  if (iequals(view, "KEY_COLUMN_USAGE")) return keyColumnUsage();
  if (iequals(view, "CONSTRAINT_COLUMN_USAGE")) return constraintColumnUsage();
  if (iequals(view, "CHECK_CONSTRAINTS")) return checkConstraints();
  if (iequals(view, "REFERENTIAL_CONSTRAINTS")) return referentialConstraints();
  if (iequals(view, "PARAMETERS")) return parameters();
  return std::nullopt;
}

}  // namespace tessel::sqld::engine
