// The catalog views of indexes, keys, constraints, modules and database
// files, as view texts over each database's compatibility tables. A foreign
// key's columns and actions and an index key's order are not in those
// tables: _TESSEL_FOREIGN_KEY and _TESSEL_INDEX_KEY_DESC read them from the
// stored table definitions.

#include <string_view>

#include "lexer.h"
#include "sys_views.h"

namespace tessel::sqld::engine {
namespace {

// The columns every view over sys.objects (o) starts with.
const char* kObjectColumns =
    "o.name, o.object_id, o.principal_id, o.schema_id, o.parent_object_id, o.type, o.type_desc, "
    "o.create_date, o.modify_date, o.is_ms_shipped, o.is_published, o.is_schema_published";

// Constraint names the server made up (PK__table__hex ...) against the ones
// a definition gave.
const char* kSystemNamed =
    "CAST(CASE WHEN o.name LIKE '__[_][_]%[_][_]%' THEN 1 ELSE 0 END AS bit) AS is_system_named";

// A check or foreign key added WITH NOCHECK (kConstraintNotTrustedStatus).
const char* kNotTrusted =
    "CAST(CASE WHEN (SELECT so.status FROM $db.sysobjects so WHERE so.id = o.object_id) & 16384 "
    "= 16384 THEN 1 ELSE 0 END AS bit) AS is_not_trusted";

std::string objectsOf(const std::string& types) {
  return "FROM (" + catalogObjectsSelect() + ") o WHERE o.type IN (" + types + ")";
}

std::string flag(const char* condition, const char* name) {
  return std::string("CAST(CASE WHEN ") + condition + " THEN 1 ELSE 0 END AS bit) AS " + name;
}

std::string indexesSelect() {
  return std::string(
             "SELECT i.id AS object_id, "
             "CAST(CASE WHEN i.indid = 0 THEN NULL ELSE i.name END AS sysname) AS name, "
             "CAST(i.indid AS int) AS index_id, "
             "CAST(CASE i.indid WHEN 0 THEN 0 WHEN 1 THEN 1 ELSE 2 END AS tinyint) AS type, "
             "CAST(CASE i.indid WHEN 0 THEN 'HEAP' WHEN 1 THEN 'CLUSTERED' ELSE 'NONCLUSTERED' "
             "END AS nvarchar(60)) AS type_desc, ") +
         flag("i.status & 2 = 2", "is_unique") +
         ", 1 AS data_space_id, CAST(0 AS bit) AS ignore_dup_key, " +
         flag("i.status & 2048 = 2048", "is_primary_key") + ", " +
         flag("i.status & 4096 = 4096", "is_unique_constraint") +
         ", CAST(0 AS tinyint) AS fill_factor, CAST(0 AS bit) AS is_padded, "
         "CAST(0 AS bit) AS is_disabled, CAST(0 AS bit) AS is_hypothetical, "
         "CAST(0 AS bit) AS is_ignored_in_optimization, CAST(1 AS bit) AS allow_row_locks, "
         "CAST(1 AS bit) AS allow_page_locks, CAST(0 AS bit) AS has_filter, "
         "CAST(NULL AS nvarchar(max)) AS filter_definition, CAST(NULL AS int) AS "
         "compression_delay, CAST(0 AS bit) AS suppress_dup_key_messages, "
         "CAST(0 AS bit) AS auto_created, CAST(0 AS bit) AS optimize_for_sequential_key "
         "FROM $db.sysindexes i JOIN $db.sysobjects t ON t.id = i.id WHERE t.xtype = 'U '";
}

const char* kIndexColumnsSelect =
    "SELECT k.id AS object_id, CAST(k.indid AS int) AS index_id, "
    "CAST(k.keyno AS int) AS index_column_id, CAST(k.colid AS int) AS column_id, "
    "CAST(k.keyno AS tinyint) AS key_ordinal, CAST(0 AS tinyint) AS partition_ordinal, "
    "CAST(coalesce(_TESSEL_INDEX_KEY_DESC(k.id, k.indid, k.keyno, '$dbname'), 0) AS bit) "
    "AS is_descending_key, CAST(0 AS bit) AS is_included_column, "
    "CAST(0 AS tinyint) AS column_store_order_ordinal "
    "FROM $db.sysindexkeys k JOIN $db.sysobjects t ON t.id = k.id WHERE t.xtype = 'U '";

std::string keyConstraintsSelect() {
  return std::string("SELECT ") + kObjectColumns +
         ", CAST((SELECT i.indid FROM $db.sysindexes i WHERE i.id = o.parent_object_id "
         "AND i.name = o.name) AS int) AS unique_index_id, " +
         kSystemNamed + ", CAST(1 AS bit) AS is_enforced " + objectsOf("'PK', 'UQ'");
}

// A referential action's code (sys.foreign_keys) and its description.
std::string action(const char* which) {
  std::string code = std::string("_TESSEL_FOREIGN_KEY(o.object_id, '") + which + "', 0, '$dbname')";
  return "CAST(" + code + " AS tinyint) AS " + which + "_referential_action, CAST(CASE " + code +
         " WHEN 1 THEN 'CASCADE' WHEN 2 THEN 'SET_NULL' WHEN 3 THEN 'SET_DEFAULT' "
         "ELSE 'NO_ACTION' END AS nvarchar(60)) AS " +
         which + "_referential_action_desc";
}

std::string foreignKeysSelect() {
  return std::string("SELECT ") + kObjectColumns +
         ", CAST((SELECT so.info FROM $db.sysobjects so WHERE so.id = o.object_id) AS int) "
         "AS referenced_object_id, "
         "CAST(_TESSEL_FOREIGN_KEY(o.object_id, 'key_index', 0, '$dbname') AS int) "
         "AS key_index_id, CAST(0 AS bit) AS is_disabled, "
         "CAST(0 AS bit) AS is_not_for_replication, " +
         kNotTrusted + ", " + action("delete") + ", " + action("update") + ", " + kSystemNamed +
         " " + objectsOf("'F '");
}

std::string foreignKeyColumnsSelect() {
  return "SELECT o.id AS constraint_object_id, CAST(k.n AS int) AS constraint_column_id, "
         "o.parent_obj AS parent_object_id, CAST(pc.colid AS int) AS parent_column_id, "
         "CAST(o.info AS int) AS referenced_object_id, "
         "CAST(rc.colid AS int) AS referenced_column_id "
         "FROM $db.sysobjects o CROSS JOIN " +
         foreignKeyNumbers() +
         " JOIN $db.syscolumns pc ON pc.id = o.parent_obj AND pc.number = 0 "
         "AND pc.name = _TESSEL_FOREIGN_KEY(o.id, 'column', k.n, '$dbname') "
         "JOIN $db.syscolumns rc ON rc.id = o.info AND rc.number = 0 "
         "AND rc.name = _TESSEL_FOREIGN_KEY(o.id, 'referenced_column', k.n, '$dbname') "
         "WHERE o.xtype = 'F '";
}

const char* kDefinition =
    "CAST((SELECT cm.text FROM $db.syscomments cm WHERE cm.id = o.object_id AND cm.colid = 1) "
    "AS nvarchar(max)) AS definition";

std::string defaultConstraintsSelect() {
  return std::string("SELECT ") + kObjectColumns +
         ", CAST(coalesce((SELECT c.colid FROM $db.syscolumns c WHERE c.id = o.parent_object_id "
         "AND c.cdefault = o.object_id AND c.number = 0), 0) AS int) AS parent_column_id, " +
         kDefinition + ", " + kSystemNamed + " " + objectsOf("'D '");
}

std::string checkConstraintsSelect() {
  return std::string("SELECT ") + kObjectColumns +
         ", CAST(0 AS bit) AS is_disabled, CAST(0 AS bit) AS is_not_for_replication, " +
         kNotTrusted +
         ", CAST(coalesce((SELECT s.info FROM $db.sysobjects s WHERE s.id = o.object_id), 0) "
         "AS int) AS parent_column_id, " +
         kDefinition + ", CAST(1 AS bit) AS uses_database_collation, " + kSystemNamed + " " +
         objectsOf("'C '");
}

// Views, procedures, triggers and functions keep their definitions; the
// QUOTED_IDENTIFIER they were created with is a status bit.
const char* kSqlModulesSelect =
    "SELECT o.id AS object_id, CAST(cm.text AS nvarchar(max)) AS definition, "
    "CAST(1 AS bit) AS uses_ansi_nulls, "
    "CAST(CASE WHEN o.status & 1073741824 <> 0 THEN 1 ELSE 0 END AS bit) "
    "AS uses_quoted_identifier, CAST(0 AS bit) AS is_schema_bound, "
    "CAST(0 AS bit) AS uses_database_collation, CAST(0 AS bit) AS is_recompiled, "
    "CAST(0 AS bit) AS null_on_null_input, CAST(NULL AS int) AS execute_as_principal_id, "
    "CAST(0 AS bit) AS uses_native_compilation, CAST(0 AS bit) AS inline_type, "
    "CAST(0 AS bit) AS is_inlineable "
    "FROM $db.sysobjects o JOIN $db.syscomments cm ON cm.id = o.id AND cm.colid = 1 "
    "WHERE o.xtype IN ('V ', 'P ', 'TR', 'FN', 'IF', 'TF')";

// The system views the server answers: sys's in lower case, then
// INFORMATION_SCHEMA's.
constexpr std::string_view kSystemViews[] = {"all_columns",
                                             "all_objects",
                                             "check_constraints",
                                             "columns",
                                             "databases",
                                             "default_constraints",
                                             "dm_exec_connections",
                                             "dm_exec_requests",
                                             "dm_exec_sessions",
                                             "foreign_key_columns",
                                             "foreign_keys",
                                             "index_columns",
                                             "indexes",
                                             "key_constraints",
                                             "master_files",
                                             "objects",
                                             "procedures",
                                             "schemas",
                                             "sequences",
                                             "sql_modules",
                                             "system_views",
                                             "table_types",
                                             "tables",
                                             "triggers",
                                             "types",
                                             "views",
                                             "CHECK_CONSTRAINTS",
                                             "COLUMNS",
                                             "CONSTRAINT_COLUMN_USAGE",
                                             "KEY_COLUMN_USAGE",
                                             "PARAMETERS",
                                             "REFERENTIAL_CONSTRAINTS",
                                             "ROUTINES",
                                             "SEQUENCES",
                                             "TABLE_CONSTRAINTS",
                                             "TABLES",
                                             "VIEWS"};

std::string systemViewsSelect() {
  std::string rows;
  int id = -100;
  for (std::string_view name : kSystemViews) {
    const bool sys = name[0] >= 'a' && name[0] <= 'z';
    rows += std::string(rows.empty() ? "(" : ", (") + "N'" + std::string(name) + "', " +
            std::to_string(id--) + ", " + (sys ? "4" : "3") + ")";
  }
  return "SELECT CAST(v.name AS sysname) AS name, v.object_id, CAST(NULL AS int) AS principal_id, "
         "v.schema_id, 0 AS parent_object_id, CAST('V' AS char(2)) AS type, "
         "CAST('VIEW' AS nvarchar(60)) AS type_desc, "
         "CAST('2003-04-08T09:13:36.390' AS datetime) AS create_date, "
         "CAST('2003-04-08T09:13:36.390' AS datetime) AS modify_date, "
         "CAST(1 AS bit) AS is_ms_shipped, CAST(0 AS bit) AS is_published, "
         "CAST(0 AS bit) AS is_schema_published FROM (VALUES " +
         rows + ") AS v(name, object_id, schema_id)";
}

// One data file and one log file per database: the SQLite file and its
// write-ahead log.
const char* kMasterFilesSelect =
    "SELECT CAST(d.dbid AS int) AS database_id, f.file_id, "
    "CAST(NULL AS uniqueidentifier) AS file_guid, CAST(f.file_id - 1 AS tinyint) AS type, "
    "CAST(CASE f.file_id WHEN 1 THEN 'ROWS' ELSE 'LOG' END AS nvarchar(60)) AS type_desc, "
    "CASE f.file_id WHEN 1 THEN 1 ELSE 0 END AS data_space_id, "
    "CAST(CASE f.file_id WHEN 1 THEN d.name ELSE d.name + '_log' END AS sysname) AS name, "
    "CAST(CASE f.file_id WHEN 1 THEN d.filename ELSE d.filename + '-wal' END AS nvarchar(260)) "
    "AS physical_name, CAST(0 AS tinyint) AS state, CAST('ONLINE' AS nvarchar(60)) AS "
    "state_desc, "
    "CASE f.file_id WHEN 1 THEN 1024 ELSE 256 END AS size, -1 AS max_size, "
    "CASE f.file_id WHEN 1 THEN 8192 ELSE 10 END AS growth, "
    "CAST(0 AS bit) AS is_media_read_only, CAST(0 AS bit) AS is_read_only, "
    "CAST(0 AS bit) AS is_sparse, "
    "CAST(CASE f.file_id WHEN 1 THEN 0 ELSE 1 END AS bit) AS is_percent_growth, "
    "CAST(0 AS bit) AS is_name_reserved, CAST(NULL AS numeric(25, 0)) AS create_lsn, "
    "CAST(NULL AS numeric(25, 0)) AS drop_lsn, CAST(NULL AS numeric(25, 0)) AS read_only_lsn, "
    "CAST(NULL AS numeric(25, 0)) AS read_write_lsn, "
    "CAST(NULL AS numeric(25, 0)) AS differential_base_lsn, "
    "CAST(NULL AS uniqueidentifier) AS differential_base_guid, "
    "CAST(NULL AS datetime) AS differential_base_time, "
    "CAST(NULL AS numeric(25, 0)) AS redo_start_lsn, "
    "CAST(NULL AS uniqueidentifier) AS redo_start_fork_guid, "
    "CAST(NULL AS numeric(25, 0)) AS redo_target_lsn, "
    "CAST(NULL AS uniqueidentifier) AS redo_target_fork_guid, "
    "CAST(NULL AS numeric(25, 0)) AS backup_lsn, CAST(NULL AS int) AS credential_id "
    "FROM master..sysdatabases d CROSS JOIN (VALUES (1), (2)) AS f(file_id)";

}  // namespace

std::string foreignKeyNumbers() {
  std::string rows;
  for (int n = 1; n <= 32; ++n) rows += (n > 1 ? ", (" : "(") + std::to_string(n) + ")";
  return "(VALUES " + rows + ") AS k(n)";
}

std::optional<std::string> keyCatalogViewSelect(const std::string& view) {
  if (iequals(view, "indexes")) return indexesSelect();
  if (iequals(view, "index_columns")) return std::string(kIndexColumnsSelect);
  if (iequals(view, "key_constraints")) return keyConstraintsSelect();
  if (iequals(view, "foreign_keys")) return foreignKeysSelect();
  if (iequals(view, "foreign_key_columns")) return foreignKeyColumnsSelect();
  if (iequals(view, "default_constraints")) return defaultConstraintsSelect();
  if (iequals(view, "check_constraints")) return checkConstraintsSelect();
  if (iequals(view, "sql_modules")) return std::string(kSqlModulesSelect);
  if (iequals(view, "system_views")) return systemViewsSelect();
  if (iequals(view, "master_files")) return std::string(kMasterFilesSelect);
  return std::nullopt;
}

}  // namespace tessel::sqld::engine
