#pragma once

// The catalog views clients query under sys (sys.objects, sys.tables,
// sys.columns, sys.schemas, sys.databases), written as view texts over the
// compatibility tables each database keeps, and the session views
// (sys.dm_exec_sessions, sys.dm_exec_connections) built from the engine's
// list of sessions when a statement names them.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ast.h"
#include "settings.h"
#include "sqld/engine.h"

// The text of a catalog procedure for a name that finds nothing: error
// 15009 naming the object and the current database, and return code 1. It
// goes after an IF that tests for the object; a macro, so the procedures'
// texts stay string literals.
#define TESSEL_SQLD_NO_SUCH_OBJECT(param) \
  "  BEGIN\n"                             \
  "    DECLARE @db sysname\n"             \
  "    SET @db = db_name()\n"             \
  "    RAISERROR(15009, 16, 1, " param    \
  ", @db)\n"                              \
  "    RETURN 1\n"                        \
  "  END\n"

namespace tessel::sqld::engine {

// What the session views show of one session.
struct SessionView {
  LoginInfo login;
  std::chrono::system_clock::time_point loginTime;
  bool running = false;  // running a request (the session asking always is)
  int openTransactions = 0;
  Settings settings;
  std::string database;  // current
};

// The CREATE VIEW text for a sys catalog view, or nothing when `name` is
// not one. A database part (tempdb.sys.objects) reads that database.
std::optional<std::string> catalogViewText(const Name& name);

// The SELECT of sys.objects over $db.sysobjects, for views that extend it.
std::string catalogObjectsSelect();

// The SELECT of the views of keys, constraints, modules and files
// (sys.indexes, sys.foreign_keys, sys.sql_modules, sys.master_files ...)
// over $db. and $dbname, or nothing when `view` is not one of them.
std::optional<std::string> keyCatalogViewSelect(const std::string& view);

// (VALUES (1), ... (32)) AS k(n): the key numbers the views pair a foreign
// key's columns by (_TESSEL_FOREIGN_KEY names the k.n-th, or NULL).
std::string foreignKeyNumbers();

// The CREATE VIEW text of the INFORMATION_SCHEMA views of constraints and
// parameters (TABLE_CONSTRAINTS, KEY_COLUMN_USAGE ...), with $db, $dbname,
// $catalog and $schema for the database it reads; nothing for other names.
std::optional<std::string> constraintInfoViewText(const std::string& view);

// The select of sys.computed_columns or sys.identity_columns (`view`), in
// catalogViewText's form; nothing for other names.
std::optional<std::string> columnViewSelect(const std::string& view);

// INFORMATION_SCHEMA.SEQUENCES, with $db, $dbname and $catalog for the
// database it reads.
std::string sequenceInfoViewText();

// True for the names of the session views.
bool isSessionView(const Name& name);
std::string sessionViewText(const Name& name, const std::vector<SessionView>& sessions);

// The catalog procedures' CREATE PROCEDURE texts (sp_columns, sp_pkeys,
// sp_fkeys, sp_statistics, sp_helpindex ...) by lower-case name, or nothing.
std::optional<std::string> catalogProcedureText(const std::string& name);
// sp_helptext's CREATE PROCEDURE text when `name` (lower case) is
// sp_helptext; nothing otherwise.
std::optional<std::string> helpTextProcedureText(const std::string& name);
// sp_helpdb's CREATE PROCEDURE text when `name` (lower case) is sp_helpdb.
std::optional<std::string> helpDbProcedureText(const std::string& name);

// The CREATE PROCEDURE text of a system procedure written in T-SQL
// (sp_help), or nothing.
std::optional<std::string> systemProcedureText(const std::string& name);

}  // namespace tessel::sqld::engine
