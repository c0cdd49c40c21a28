#include "sys_views.h"

#include <ctime>

#include "collation/sql_collation.h"
#include "lexer.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {
namespace {

// $db. stands for the database the view reads ("" or "name..").
const char* kObjectsSelect =
    "SELECT name, id AS object_id, CAST(NULL AS int) AS principal_id, "
    "CAST(uid AS int) AS schema_id, parent_obj AS parent_object_id, CAST(xtype AS char(2)) AS "
    "type, "
    "CAST(CASE rtrim(xtype) WHEN 'U' THEN 'USER_TABLE' WHEN 'V' THEN 'VIEW' "
    "WHEN 'P' THEN 'SQL_STORED_PROCEDURE' WHEN 'S' THEN 'SYSTEM_TABLE' "
    "WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT' WHEN 'UQ' THEN 'UNIQUE_CONSTRAINT' "
    "WHEN 'F' THEN 'FOREIGN_KEY_CONSTRAINT' WHEN 'C' THEN 'CHECK_CONSTRAINT' "
    "WHEN 'D' THEN 'DEFAULT_CONSTRAINT' WHEN 'TR' THEN 'SQL_TRIGGER' WHEN 'TT' THEN 'TYPE_TABLE' "
    "WHEN 'FN' THEN 'SQL_SCALAR_FUNCTION' WHEN 'IF' THEN 'SQL_INLINE_TABLE_VALUED_FUNCTION' "
    "WHEN 'TF' THEN 'SQL_TABLE_VALUED_FUNCTION' ELSE 'USER_TABLE' END "
    "AS nvarchar(60)) AS type_desc, crdate AS create_date, crdate AS modify_date, "
    "CAST(CASE WHEN xtype = 'S ' THEN 1 ELSE 0 END AS bit) AS is_ms_shipped, "
    "CAST(0 AS bit) AS is_published, CAST(0 AS bit) AS is_schema_published "
    "FROM $db.sysobjects";

const char* kColumnsSelect =
    "SELECT id AS object_id, name, CAST(colid AS int) AS column_id, "
    "xtype AS system_type_id, CAST(xusertype AS int) AS user_type_id, "
    // Files written before text columns kept their pointer size say 2^31 - 1.
    "CAST(CASE WHEN xtype IN (34, 35, 99) THEN 16 ELSE length END AS smallint) AS max_length, "
    "xprec AS [precision], xscale AS scale, CAST(collation AS sysname) AS collation_name, "
    "CAST(isnullable AS bit) AS is_nullable, "
    // Character, binary and sql_variant columns created with ANSI_PADDING on
    // (colstat 0x2000 marks the ones created with it off).
    "CAST(CASE WHEN colstat & 8192 = 0 AND xtype IN (35, 34, 98, 99, 165, 167, 173, 175, 231, 239) "
    "THEN 1 ELSE 0 END AS bit) AS is_ansi_padded, "
    "CAST(CASE WHEN status & 128 = 128 THEN 1 ELSE 0 END AS bit) AS is_identity, "
    "CAST(iscomputed AS bit) AS is_computed, cdefault AS default_object_id "
    "FROM $db.syscolumns WHERE number = 0";

const char* kTriggersSelect =
    "SELECT name, id AS object_id, CAST(1 AS tinyint) AS parent_class, "
    "CAST('OBJECT_OR_COLUMN' AS nvarchar(60)) AS parent_class_desc, parent_obj AS parent_id, "
    "CAST('TR' AS char(2)) AS type, CAST('SQL_TRIGGER' AS nvarchar(60)) AS type_desc, "
    "crdate AS create_date, crdate AS modify_date, CAST(0 AS bit) AS is_ms_shipped, "
    "CAST(CASE WHEN status & 2048 = 2048 THEN 1 ELSE 0 END AS bit) AS is_disabled, "
    "CAST(0 AS bit) AS is_not_for_replication, "
    "CAST(CASE WHEN status & 65536 = 65536 THEN 1 ELSE 0 END AS bit) AS is_instead_of_trigger "
    "FROM $db.sysobjects WHERE xtype = 'TR'";

// Built-in types are in schema sys (4), user-defined ones in their own.
const char* kTypesSelect =
    "SELECT name, xtype AS system_type_id, CAST(xusertype AS int) AS user_type_id, "
    "CASE WHEN xusertype > 256 THEN CAST(uid AS int) ELSE 4 END AS schema_id, CAST(NULL AS int) AS "
    "principal_id, "
    "length AS max_length, xprec AS [precision], xscale AS scale, "
    "CAST(CASE WHEN xtype IN (35, 99, 167, 175, 231, 239) THEN 'SQL_Latin1_General_CP1_CI_AS' END "
    "AS sysname) AS collation_name, CAST(allownulls AS bit) AS is_nullable, "
    "CAST(CASE WHEN xusertype > 256 THEN 1 ELSE 0 END AS bit) AS is_user_defined, "
    "CAST(0 AS bit) AS is_assembly_type, 0 AS default_object_id, 0 AS rule_object_id, "
    "CAST(CASE WHEN xtype = 243 THEN 1 ELSE 0 END AS bit) AS is_table_type";

const char* kTableTypesColumns =
    ", domain AS type_table_object_id, CAST(0 AS bit) AS is_memory_optimized";

// The collations the server sorts and compares by, one row each.
std::string collationsSelect() {
  static const std::string select = [] {
    std::string rows;
    for (const collation::SqlCollation& c : collation::AllCollations())
      rows += (rows.empty() ? "(" : ", (") + quoteText(c.Name) + ", " + quoteText(c.Description()) +
              ")";
    return "SELECT CAST(name AS sysname) AS name, CAST(description AS nvarchar(1000)) AS "
           "description FROM (VALUES " +
           rows + ") AS c(name, description)";
  }();
  return select;
}

const char* kSchemasSelect =
    "SELECT CAST('dbo' AS sysname) AS name, 1 AS schema_id, 1 AS principal_id "
    "UNION ALL SELECT 'guest', 2, 2 UNION ALL SELECT 'INFORMATION_SCHEMA', 3, 3 "
    "UNION ALL SELECT 'sys', 4, 4 "
    "UNION ALL SELECT name, CAST(uid AS int), 1 FROM $db.sysusers WHERE status = 16";

const char* kDatabasesSelect =
    "SELECT name, CAST(dbid AS int) AS database_id, crdate AS create_date, "
    "CAST(cmptlevel AS tinyint) AS compatibility_level, "
    "CAST(DATABASEPROPERTYEX(name, 'Collation') AS sysname) AS collation_name, "
    "CAST(0 AS tinyint) AS state, CAST('ONLINE' AS nvarchar(60)) AS state_desc "
    "FROM master..sysdatabases";

// A sequence's definition as the engine keeps it, one row per sequence;
// $dbname is the database the view reads, empty for the current one.
const char* kSequenceRows =
    "(SELECT name, id, CAST(uid AS int) AS uid, crdate, _tessel_sequence(id, 'start_value', "
    "'$dbname') AS start_v, "
    "_tessel_sequence(id, 'increment', '$dbname') AS inc, "
    "_tessel_sequence(id, 'minimum_value', '$dbname') AS min_v, "
    "_tessel_sequence(id, 'maximum_value', '$dbname') AS max_v, "
    "_tessel_sequence(id, 'is_cycling', '$dbname') AS cycling, "
    "_tessel_sequence(id, 'xtype', '$dbname') AS xt, "
    "_tessel_sequence(id, 'prec', '$dbname') AS prec, "
    "_tessel_sequence(id, 'current_value', '$dbname') AS cur, "
    "_tessel_sequence(id, 'restart_value', '$dbname') AS restart_v "
    "FROM $db.sysobjects WHERE xtype = 'SO') s";

// The precision of a sequence's type.
const char* kSequencePrecision =
    "CAST(CASE xt WHEN 48 THEN 3 WHEN 52 THEN 5 WHEN 56 THEN 10 WHEN 127 THEN 19 ELSE prec END "
    "AS tinyint)";

std::string sequencesSelect() {
  return std::string(
             "SELECT name, id AS object_id, CAST(NULL AS int) AS principal_id, uid AS schema_id, "
             "0 AS parent_object_id, CAST('SO' AS char(2)) AS type, "
             "CAST('SEQUENCE_OBJECT' AS nvarchar(60)) AS type_desc, crdate AS create_date, "
             "crdate AS modify_date, CAST(0 AS bit) AS is_ms_shipped, "
             "CAST(0 AS bit) AS is_published, CAST(0 AS bit) AS is_schema_published, "
             "CAST(start_v AS sql_variant) AS start_value, CAST(inc AS sql_variant) AS increment, "
             "CAST(min_v AS sql_variant) AS minimum_value, "
             "CAST(max_v AS sql_variant) AS maximum_value, CAST(cycling AS bit) AS is_cycling, "
             "CAST(1 AS bit) AS is_cached, CAST(NULL AS int) AS cache_size, "
             "CAST(xt AS tinyint) AS system_type_id, CAST(xt AS int) AS user_type_id, ") +
         kSequencePrecision +
         " AS [precision], CAST(0 AS tinyint) AS scale, "
         "CAST(coalesce(cur, restart_v, start_v) AS sql_variant) AS current_value, "
         "CAST(CASE WHEN cycling = 0 AND cur IS NOT NULL AND ((inc > 0 AND cur > max_v - inc) OR "
         "(inc < 0 AND cur < min_v - inc)) THEN 1 ELSE 0 END AS bit) AS is_exhausted, "
         "CAST(cur AS sql_variant) AS last_used_value FROM " +
         kSequenceRows;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
  return s;
}

// A T-SQL string literal.
std::string literal(const std::string& s) {
  return "N'" + replaceAll(s, "'", "''") + "'";
}

std::string datetimeLiteral(std::chrono::system_clock::time_point t) {
  std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return std::string("CAST('") + buf + "' AS datetime)";
}

std::string optionColumns(const SessionView& s);

std::string sessionsRow(const SessionView& s) {
  const LoginInfo& l = s.login;
  std::string login = datetimeLiteral(s.loginTime);
  return "SELECT CAST(" + std::to_string(l.spid) + " AS smallint) AS session_id, " + login +
         " AS login_time, CAST(" + literal(l.hostName) + " AS nvarchar(128)) AS host_name, CAST(" +
         literal(l.appName) + " AS nvarchar(128)) AS program_name, 0 AS host_process_id, " +
         std::to_string(l.tdsVersion >> 28) + " AS client_version, CAST(" +
         literal(l.odbc ? "ODBC" : "DB-Library") +
         " AS nvarchar(32)) AS client_interface_name, CAST(" + literal(l.user) +
         " AS nvarchar(128)) AS login_name, CAST(N'' AS nvarchar(128)) AS nt_domain, "
         "CAST(N'' AS nvarchar(128)) AS nt_user_name, CAST(" +
         literal(s.running ? "running" : "sleeping") +
         " AS nvarchar(30)) AS status, 0 AS cpu_time, 0 AS memory_usage, "
         "0 AS total_scheduled_time, 0 AS total_elapsed_time, " +
         login + " AS last_request_start_time, " + login +
         " AS last_request_end_time, CAST(0 AS bigint) AS reads, CAST(0 AS bigint) AS writes, "
         "CAST(0 AS bigint) AS logical_reads, CAST(1 AS bit) AS is_user_process, CAST(" +
         literal(s.settings.language) + " AS nvarchar(128)) AS language, CAST(" +
         std::to_string(s.settings.isolationLevel) +
         " AS smallint) AS transaction_isolation_level, " + "CAST(" + literal(l.user) +
         " AS nvarchar(128)) AS original_login_name, " + std::to_string(s.openTransactions) +
         " AS open_transaction_count, " + optionColumns(s) + ", CAST(0 AS bigint) AS row_count, " +
         "0 AS prev_error, DB_ID(" + literal(s.database) + ") AS database_id, " +
         "1 AS authenticating_database_id";
}

// The SET options a session runs under, as both session views show them.
std::string optionColumns(const SessionView& s) {
  static const char* const orders[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
  const Settings& o = s.settings;
  auto flag = [](bool on, const char* name) {
    return std::string("CAST(") + (on ? "1" : "0") + " AS bit) AS " + name;
  };
  bool ansiDefaults = o.ansiNulls && o.ansiWarnings && o.ansiPadding && o.ansiNullDefault &&
                      o.quotedIdentifier && o.cursorCloseOnCommit && o.implicitTransactions;
  return std::to_string(o.textSize) + " AS text_size, CAST(" +
         literal(orders[static_cast<int>(o.dateOrder)]) + " AS nvarchar(3)) AS date_format, " +
         "CAST(" + std::to_string(o.dateFirst) + " AS smallint) AS date_first, " +
         flag(o.quotedIdentifier, "quoted_identifier") + ", " + flag(o.arithAbort, "arithabort") +
         ", " + flag(o.ansiNullDefault, "ansi_null_dflt_on") + ", " +
         flag(ansiDefaults, "ansi_defaults") + ", " + flag(o.ansiWarnings, "ansi_warnings") + ", " +
         flag(o.ansiPadding, "ansi_padding") + ", " + flag(o.ansiNulls, "ansi_nulls") + ", " +
         flag(o.concatNullYieldsNull, "concat_null_yields_null") + ", " +
         std::to_string(o.lockTimeoutMs) + " AS lock_timeout, 0 AS deadlock_priority";
}

// The request a session is running; only the asking session's is known in detail.
std::string requestsRow(const SessionView& s) {
  const LoginInfo& l = s.login;
  const Settings& o = s.settings;
  std::string now = datetimeLiteral(std::chrono::system_clock::now());
  return "SELECT CAST(" + std::to_string(l.spid) +
         " AS smallint) AS session_id, 0 AS request_id, " + now +
         " AS start_time, CAST(N'running' AS nvarchar(30)) AS status, " +
         "CAST(N'SELECT' AS nvarchar(32)) AS command, CAST(NULL AS varbinary(64)) AS sql_handle, " +
         "0 AS statement_start_offset, -1 AS statement_end_offset, " +
         "CAST(NULL AS varbinary(64)) AS plan_handle, CAST(DB_ID(" + literal(s.database) +
         ") AS smallint) AS database_id, 1 AS user_id, " +
         "CAST(NULL AS uniqueidentifier) AS connection_id, " +
         "CAST(0 AS smallint) AS blocking_session_id, CAST(NULL AS nvarchar(60)) AS wait_type, " +
         "0 AS wait_time, CAST(N'' AS nvarchar(60)) AS last_wait_type, " +
         "CAST(N'' AS nvarchar(256)) AS wait_resource, " + "CAST(" +
         std::to_string(s.openTransactions) + " AS int) AS open_transaction_count, " +
         "1 AS open_resultset_count, CAST(0 AS bigint) AS transaction_id, " +
         "CAST(NULL AS varbinary(128)) AS context_info, CAST(0 AS real) AS percent_complete, " +
         "CAST(0 AS bigint) AS estimated_completion_time, 0 AS cpu_time, " +
         "0 AS total_elapsed_time, 0 AS scheduler_id, CAST(0 AS bigint) AS reads, " +
         "CAST(0 AS bigint) AS writes, CAST(0 AS bigint) AS logical_reads, " + optionColumns(s) +
         ", CAST(" + literal(o.language) + " AS nvarchar(128)) AS language, CAST(" +
         std::to_string(o.isolationLevel) +
         " AS smallint) AS transaction_isolation_level, CAST(0 AS bigint) AS row_count, " +
         "0 AS prev_error, 0 AS nest_level, 0 AS granted_query_memory";
}

std::string connectionsRow(const SessionView& s) {
  const LoginInfo& l = s.login;
  std::string connect = datetimeLiteral(s.loginTime);
  std::string address = l.clientAddress.empty() ? "<local machine>" : l.clientAddress;
  return "SELECT " + std::to_string(l.spid) + " AS session_id, " + std::to_string(l.spid) +
         " AS most_recent_session_id, " + connect + " AS connect_time, CAST(" +
         literal(l.clientAddress.empty() ? "Shared memory" : "TCP") +
         " AS nvarchar(40)) AS net_transport, CAST(N'TSQL' AS nvarchar(40)) AS protocol_type, " +
         std::to_string(static_cast<std::int64_t>(l.tdsVersion)) +
         " AS protocol_version, 4 AS endpoint_id, CAST(N'FALSE' AS nvarchar(40)) AS "
         "encrypt_option, CAST(N'SQL' AS nvarchar(40)) AS auth_scheme, "
         "CAST(0 AS smallint) AS node_affinity, 0 AS num_reads, 0 AS num_writes, " +
         connect + " AS last_read, " + connect + " AS last_write, 4096 AS net_packet_size, CAST(" +
         literal(address) + " AS varchar(48)) AS client_net_address, " +
         (l.clientPort ? std::to_string(l.clientPort) : std::string("NULL")) +
         " AS client_tcp_port, CAST(" + literal(l.clientAddress.empty() ? "" : "127.0.0.1") +
         " AS varchar(48)) AS local_net_address";
}

}  // namespace

std::string catalogObjectsSelect() {
  return kObjectsSelect;
}

std::string sequenceInfoViewText() {
  return std::string(
             "CREATE VIEW SEQUENCES AS SELECT CAST($catalog AS nvarchar(128)) AS SEQUENCE_CATALOG, "
             "CAST((SELECT u.name FROM $db.sysusers u WHERE u.uid = s.uid) AS nvarchar(128)) "
             "AS SEQUENCE_SCHEMA, name AS SEQUENCE_NAME, "
             "CAST(CASE xt WHEN 48 THEN 'tinyint' WHEN 52 THEN 'smallint' WHEN 56 THEN 'int' "
             "WHEN 127 THEN 'bigint' WHEN 106 THEN 'decimal' ELSE 'numeric' END AS nvarchar(128)) "
             "AS DATA_TYPE, ") +
         kSequencePrecision +
         " AS NUMERIC_PRECISION, CAST(10 AS smallint) AS NUMERIC_PRECISION_RADIX, "
         "0 AS NUMERIC_SCALE, CAST(start_v AS sql_variant) AS START_VALUE, "
         "CAST(min_v AS sql_variant) AS MINIMUM_VALUE, CAST(max_v AS sql_variant) AS "
         "MAXIMUM_VALUE, CAST(inc AS sql_variant) AS INCREMENT, "
         "CAST(cycling AS bit) AS CYCLE_OPTION, CAST(NULL AS nvarchar(128)) AS DECLARED_DATA_TYPE, "
         "CAST(NULL AS tinyint) AS DECLARED_NUMERIC_PRECISION, "
         "CAST(NULL AS int) AS DECLARED_NUMERIC_SCALE FROM " +
         kSequenceRows;
}

std::optional<std::string> catalogViewText(const Name& name) {
  if (name.size() < 2 || !iequals(name[name.size() - 2], "sys")) return std::nullopt;
  const std::string& view = name.back();
  std::string db = name.size() >= 3 && !name[name.size() - 3].empty() ? name[name.size() - 3] + ".."
                                                                      : std::string();
  std::string select;
  if (iequals(view, "objects") || iequals(view, "all_objects")) {
    select = kObjectsSelect;
  } else if (iequals(view, "tables")) {
    select = std::string(kObjectsSelect) + " WHERE xtype = 'U '";
  } else if (iequals(view, "views")) {
    select = std::string(kObjectsSelect) + " WHERE xtype = 'V '";
  } else if (iequals(view, "procedures")) {
    select = std::string(kObjectsSelect) + " WHERE xtype = 'P '";
  } else if (iequals(view, "triggers")) {
    select = kTriggersSelect;
  } else if (iequals(view, "columns") || iequals(view, "all_columns")) {
    select = kColumnsSelect;
  } else if (iequals(view, "types")) {
    select = std::string(kTypesSelect) + " FROM $db.systypes";
  } else if (iequals(view, "table_types")) {
    select =
        std::string(kTypesSelect) + kTableTypesColumns + " FROM $db.systypes WHERE xtype = 243";
  } else if (iequals(view, "fn_helpcollations")) {
    select = collationsSelect();
  } else if (iequals(view, "schemas")) {
    select = kSchemasSelect;
  } else if (iequals(view, "databases")) {
    select = kDatabasesSelect;
  } else if (iequals(view, "sequences")) {
    select = sequencesSelect();
  } else if (auto keys = keyCatalogViewSelect(view)) {
    select = *keys;
  } else if (auto columns = columnViewSelect(view)) {
    select = *columns;
  } else {
    return std::nullopt;
  }
  select =
      replaceAll(select, "$dbname",
                 db.empty() ? std::string() : replaceAll(db.substr(0, db.size() - 2), "'", "''"));
  if (db.empty()) {
    select = replaceAll(select, "$db.", "");
  } else {
    select = replaceAll(select, "$db.", db);
  }
  return "CREATE VIEW " + view + " AS " + select;
}

bool isSessionView(const Name& name) {
  return name.size() >= 2 && iequals(name[name.size() - 2], "sys") &&
         (iequals(name.back(), "dm_exec_sessions") || iequals(name.back(), "dm_exec_connections") ||
          iequals(name.back(), "dm_exec_requests"));
}

std::string sessionViewText(const Name& name, const std::vector<SessionView>& sessions) {
  bool connections = iequals(name.back(), "dm_exec_connections");
  bool requests = iequals(name.back(), "dm_exec_requests");
  std::string text = "CREATE VIEW " + name.back() + " AS ";
  bool first = true;
  for (const SessionView& s : sessions) {
    if (requests && !s.running) continue;
    if (!first) text += " UNION ALL ";
    first = false;
    text += connections ? connectionsRow(s) : requests ? requestsRow(s) : sessionsRow(s);
  }
  return text;
}

}  // namespace tessel::sqld::engine

namespace tessel::sqld::engine {
namespace {

const char* kObjectType =
    "CAST(CASE rtrim(xtype) WHEN 'U' THEN 'user table' WHEN 'V' THEN 'view' "
    "WHEN 'P' THEN 'stored procedure' WHEN 'S' THEN 'system table' "
    "WHEN 'PK' THEN 'primary key cns' WHEN 'UQ' THEN 'unique key cns' "
    "WHEN 'F' THEN 'foreign key cns' WHEN 'C' THEN 'check cns' "
    "WHEN 'D' THEN 'default (maybe cns)' WHEN 'TR' THEN 'trigger' ELSE 'user table' END "
    "AS nvarchar(31))";

// The events of a trigger as its sysobjects status keeps them (bits of 256).
std::string triggerFlag(int bit) {
  return "CAST(CASE WHEN status & " + std::to_string(bit) + " = " + std::to_string(bit) +
         " THEN 1 ELSE 0 END AS int)";
}

}  // namespace

std::optional<std::string> systemProcedureText(const std::string& name) {
  std::string n = lower(name);
  if (n.rfind("sys.", 0) == 0) n = n.substr(4);
  if (auto text = catalogProcedureText(n)) return text;
  if (auto text = helpTextProcedureText(n)) return text;
  if (auto text = helpDbProcedureText(n)) return text;
  if (n == "sp_helptrigger") {
    return "CREATE PROCEDURE sp_helptrigger @tabname nvarchar(776), @triggertype char(6) = NULL "
           "AS\n"
           "BEGIN\n"
           "  IF OBJECT_ID(@tabname) IS NULL\n" TESSEL_SQLD_NO_SUCH_OBJECT(
               "@tabname") "  SELECT name AS trigger_name, SCHEMA_NAME(uid) AS trigger_owner, " +
           triggerFlag(512) + " AS isupdate, " + triggerFlag(1024) + " AS isdelete, " +
           triggerFlag(256) +
           " AS isinsert, CAST(CASE WHEN status & 65536 = 0 THEN 1 ELSE 0 END "
           "AS int) AS isafter, " +
           triggerFlag(65536) +
           " AS isinsteadof, SCHEMA_NAME(uid) AS trigger_schema\n"
           "  FROM sysobjects WHERE xtype = 'TR' AND parent_obj = OBJECT_ID(@tabname)\n"
           "    AND (@triggertype IS NULL OR (@triggertype = 'INSERT' AND status & 256 = 256)\n"
           "      OR (@triggertype = 'UPDATE' AND status & 512 = 512)\n"
           "      OR (@triggertype = 'DELETE' AND status & 1024 = 1024))\n"
           "  ORDER BY name\n"
           "  RETURN 0\n"
           "END\n";
  }
  if (n == "sp_sequence_get_range") {
    return "CREATE PROCEDURE sp_sequence_get_range @sequence_name nvarchar(776), "
           "@range_size bigint, @range_first_value sql_variant OUTPUT, "
           "@range_last_value sql_variant = NULL OUTPUT, @range_cycle_count int = NULL OUTPUT, "
           "@sequence_increment sql_variant = NULL OUTPUT, "
           "@sequence_min_value sql_variant = NULL OUTPUT, "
           "@sequence_max_value sql_variant = NULL OUTPUT AS\n"
           "BEGIN\n"
           "  SET @range_first_value = _tessel_sequence_range(@sequence_name, @range_size)\n"
           "  SET @range_last_value = _tessel_sequence_range_part(0)\n"
           "  SET @range_cycle_count = _tessel_sequence_range_part(1)\n"
           "  SET @sequence_increment = _tessel_sequence_range_part(2)\n"
           "  SET @sequence_min_value = _tessel_sequence_range_part(3)\n"
           "  SET @sequence_max_value = _tessel_sequence_range_part(4)\n"
           "  RETURN 0\n"
           "END\n";
  }
  if (n == "sp_tables") {
    // @table_type lists the types in quotes, as in '''TABLE'', ''VIEW'''.
    return "CREATE PROCEDURE sp_tables @table_name nvarchar(384) = NULL, "
           "@table_owner nvarchar(384) = NULL, @table_qualifier sysname = NULL, "
           "@table_type varchar(100) = NULL, @fUsePattern bit = 1 AS\n"
           "BEGIN\n"
           "  SELECT CAST(db_name() AS sysname) AS TABLE_QUALIFIER, SCHEMA_NAME(uid) AS "
           "TABLE_OWNER, name AS TABLE_NAME,\n"
           "    CAST(CASE rtrim(xtype) WHEN 'U' THEN 'TABLE' WHEN 'V' THEN 'VIEW' "
           "ELSE 'SYSTEM TABLE' END AS varchar(32)) AS TABLE_TYPE,\n"
           "    CAST(NULL AS varchar(254)) AS REMARKS\n"
           "  FROM sysobjects WHERE xtype IN ('U', 'V', 'S')\n"
           "    AND (@table_name IS NULL OR name LIKE @table_name)\n"
           "    AND (@table_owner IS NULL OR SCHEMA_NAME(uid) LIKE @table_owner)\n"
           "    AND (@table_qualifier IS NULL OR @table_qualifier = db_name())\n"
           "    AND (@table_type IS NULL OR charindex('''' + CASE rtrim(xtype) WHEN 'U' "
           "THEN 'TABLE' WHEN 'V' THEN 'VIEW' ELSE 'SYSTEM TABLE' END + '''', @table_type) > 0)\n"
           "  ORDER BY 4, 1, 2, 3\n"
           "  RETURN 0\n"
           "END\n";
  }
  if (n != "sp_help") return std::nullopt;
  std::string type = kObjectType;
  return "CREATE PROCEDURE sp_help @objname nvarchar(776) = NULL AS\n"
         "BEGIN\n"
         "  IF @objname IS NULL\n"
         "  BEGIN\n"
         "    SELECT name AS Name, SCHEMA_NAME(uid) AS Owner, " +
         type +
         " AS Object_type FROM sysobjects ORDER BY 3 DESC, 1\n"
         "    RETURN 0\n"
         "  END\n"
         "  IF OBJECT_ID(@objname) IS NULL AND EXISTS (SELECT 1 FROM systypes WHERE name = "
         "@objname)\n"
         "  BEGIN\n"
         "    SELECT CAST(t.name AS nvarchar(128)) AS Type_name,\n"
         "      CAST(b.name AS nvarchar(128)) AS Storage_type, CAST(t.length AS smallint) AS "
         "Length,\n"
         "      CAST(CASE t.xtype WHEN 48 THEN 3 WHEN 52 THEN 5 WHEN 56 THEN 10 WHEN 127 THEN 19 "
         "WHEN 104 THEN 1 WHEN 59 THEN 24 WHEN 62 THEN 53 WHEN 60 THEN 19 WHEN 122 THEN 10 "
         "WHEN 61 THEN 23 WHEN 58 THEN 16 WHEN 106 THEN t.xprec WHEN 108 THEN t.xprec "
         "WHEN 231 THEN t.length / 2 WHEN 239 THEN t.length / 2 ELSE t.length END AS int) AS "
         "Prec,\n"
         "      CAST(CASE WHEN t.xtype IN (34, 35, 36, 99, 165, 167, 173, 175, 231, 239) THEN NULL "
         "ELSE t.scale END AS int) AS Scale,\n"
         "      CAST(CASE WHEN t.allownulls = 1 THEN 'yes' ELSE 'no' END AS varchar(35)) AS "
         "Nullable,\n"
         "      CAST('none' AS nvarchar(128)) AS Default_name, CAST('none' AS nvarchar(128)) AS "
         "Rule_name,\n"
         "      CAST(CASE WHEN t.xtype IN (35, 99, 167, 175, 231, 239) THEN "
         "SERVERPROPERTY('Collation') END AS sysname) AS Collation\n"
         "    FROM systypes t LEFT JOIN systypes b ON b.xusertype = t.xtype WHERE t.name = "
         "@objname\n"
         "    RETURN 0\n"
         "  END\n"
         "  IF OBJECT_ID(@objname) IS NULL\n" TESSEL_SQLD_NO_SUCH_OBJECT(
             "@objname") "  SELECT name AS Name, SCHEMA_NAME(uid) AS Owner, " +
         type +
         " AS Type, crdate AS Created_datetime FROM sysobjects WHERE id = OBJECT_ID(@objname)\n"
         "  IF EXISTS (SELECT 1 FROM syscolumns WHERE id = OBJECT_ID(@objname))\n"
         "    SELECT c.name AS Column_name, t.name AS Type, CAST('no' AS varchar(35)) AS "
         "Computed,\n"
         "      CAST(c.length AS int) AS Length, CAST(c.xprec AS char(5)) AS Prec,\n"
         "      CAST(c.xscale AS char(5)) AS Scale,\n"
         "      CAST(CASE WHEN c.isnullable = 1 THEN 'yes' ELSE 'no' END AS varchar(35)) AS "
         "Nullable\n"
         "    FROM syscolumns c LEFT JOIN systypes t ON t.xtype = c.xtype AND t.xusertype = "
         "c.xusertype\n"
         "    WHERE c.id = OBJECT_ID(@objname) AND c.number = 0 ORDER BY c.colid\n"
         "  RETURN 0\n"
         "END\n";
}

}  // namespace tessel::sqld::engine
