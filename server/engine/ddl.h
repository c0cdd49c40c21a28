#pragma once

// CREATE and DROP of tables, indexes, views, procedures and databases, and
// TRUNCATE: each changes the SQLite schema and the catalog tables together,
// inside one savepoint, so a failure leaves neither half done.

#include <memory>
#include <vector>

#include "ast.h"
#include "catalog.h"

namespace tessel::sqld::engine {

class SqliteSession;
struct Frame;

class Ddl {
 public:
  explicit Ddl(SqliteSession& session) : s_(session) {}

  void run(const Stmt& stmt, Frame& frame);
  // SELECT ... INTO: a table with the given columns.
  std::shared_ptr<const TableInfo> createTableFrom(const Name& name,
                                                   const std::vector<ColumnInfo>& columns,
                                                   std::int64_t seed = 1,
                                                   std::int64_t increment = 1);
  // CREATE TABLE; `as` names the table instead of the statement (table
  // variables).
  void createTable(const CreateTableStmt& t, const Name* as = nullptr);
  void drop(const DropStmt& t);

 private:
  void runStatement(const Stmt& stmt, Frame& frame);
  void createIndex(const CreateIndexStmt& t);
  void createView(const CreateViewStmt& t);
  void createProc(const CreateProcStmt& t);
  // CREATE TRIGGER and ALTER TRIGGER.
  void createTrigger(const CreateTriggerStmt& t);
  // ENABLE TRIGGER, DISABLE TRIGGER and their ALTER TABLE form.
  void enableTriggers(const EnableTriggerStmt& t);
  void createSchema(const CreateSchemaStmt& c);
  // CREATE TYPE and DROP TYPE.
  void createType(const CreateTypeStmt& c);
  void dropType(const Name& name);
  // The columns' types, alias types resolved to their base types.
  std::vector<TypeInfo> columnTypes(const CreateTableStmt& t);
  void truncate(const TruncateStmt& t);
  // Runs `body` inside a savepoint.
  template <typename F>
  void atomically(F&& body);
  std::string schemaOf(const Name& name, std::string* database);

  SqliteSession& s_;
};

}  // namespace tessel::sqld::engine
