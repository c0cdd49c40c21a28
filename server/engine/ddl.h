#pragma once

// CREATE, ALTER and DROP of tables, indexes, views, procedures and
// databases, and TRUNCATE: each changes the SQLite schema and the catalog tables together,
// inside one savepoint, so a failure leaves neither half done.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "ast.h"
#include "binder.h"
#include "catalog.h"
#include "errors.h"

namespace tessel::sqld::engine {

class SqliteSession;
struct Frame;

// A DEFAULT's definition as the catalog keeps it: in parentheses, a number
// in two pairs, as ((0)), (N'x') and (getdate()); parentheses the text
// already had around the whole are not doubled.
std::string storedDefaultText(std::string_view text);

class Ddl {
 public:
  explicit Ddl(SqliteSession& session) : s_(session) {}
  Ddl(SqliteSession& session, const Stmt* stmt, const Frame* frame)
      : s_(session), stmt_(stmt), frame_(frame) {}

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
  // sp_rename of an object ([schema.]name, `type` empty or OBJECT) or of a
  // column ([schema.]table.column, `type` COLUMN).
  void rename(const std::string& object, const std::string& newName, const std::string& type);
  // The columns of the table's primary key in key order; none without one.
  std::vector<std::string> primaryKeyColumns(const TableInfo& table);

 private:
  void runStatement(const Stmt& stmt, Frame& frame);
  void createIndex(const CreateIndexStmt& t);
  void createView(const CreateViewStmt& t);
  void createProc(const CreateProcStmt& t);
  // The id of the view or procedure that ALTER or CREATE OR ALTER replaces
  // (0 when a new one is made), or the error the statement raises.
  std::int64_t replacedModule(const std::string& schema, const std::string& name, const char* xtype,
                              bool alter, bool orAlter, int owner);
  // Drops a module's text and columns, for a new definition under its id.
  void clearModule(const std::string& schema, std::int64_t id);
  // CREATE TRIGGER and ALTER TRIGGER.
  void createTrigger(const CreateTriggerStmt& t);
  // ENABLE TRIGGER, DISABLE TRIGGER and their ALTER TABLE form.
  void enableTriggers(const EnableTriggerStmt& t);
  void createSchema(const CreateSchemaStmt& c);
  // ALTER SCHEMA ... TRANSFER: the object, with its constraints, triggers
  // and SQLite table, moves to another schema.
  void transferObject(const CreateSchemaStmt& c);
  // Renames the SQLite table of a table and its indexes (named after it).
  void renameStoredTable(const std::string& schema, const std::string& from, const std::string& to);
  // CREATE TYPE and DROP TYPE.
  void createType(const CreateTypeStmt& c);
  void dropType(const Name& name);
  // ALTER TABLE ADD, DROP and ALTER COLUMN (alter_table.cpp).
  void alterTable(const AlterTableStmt& a);
  void addElements(const AlterTableStmt& a, const std::shared_ptr<const TableInfo>& table);
  void addTableColumn(const AlterTableStmt& a, const ColumnDef& d,
                      const std::shared_ptr<const TableInfo>& table);
  void addTableConstraint(const AlterTableStmt& a, const ConstraintDef& c);
  void dropColumn(const TableInfo& table, const std::string& column);
  void dropConstraint(const TableInfo& table, const std::string& name);
  // sp_rename of a check or foreign key: its element of the stored table
  // definition takes the new name too.
  void renameConstraintElement(const std::string& schema, std::int64_t id, const std::string& from,
                               const std::string& to);
  void alterColumn(const AlterTableStmt& a, const std::shared_ptr<const TableInfo>& table);
  // Whether the table holds any row for which `condition` (SQLite SQL over
  // its columns) holds.
  bool anyRow(const TableInfo& table, const std::string& condition);
  // Reports an error that precedes the one the statement raises (outside TRY).
  void precede(const Message& first);
  // Reports `first` (outside TRY) and raises `then`: SQL Server's pairs
  // such as 8111 and 1750.
  [[noreturn]] void raisePair(const Message& first, SqlError then);

  // Steps of CREATE TABLE, shared with ALTER TABLE.
  struct BuiltConstraint {
    std::string name;
    std::string element;   // its part of SQLite's CREATE TABLE (checks, foreign keys)
    std::string checkSql;  // a check's bound condition
    std::shared_ptr<const TableInfo> ref;  // a foreign key's referenced table
    std::vector<std::string> refColumns;
  };
  // Name, column and identity rules of a new table; the columns' types.
  std::vector<TypeInfo> checkNewTable(const CreateTableStmt& t, const std::string& schema,
                                      const std::string& name, bool variable, int owner,
                                      std::uint16_t collation);
  static void checkIdentityType(const std::string& column, const TypeInfo& type);
  static bool inPrimaryKey(const CreateTableStmt& t, const std::string& column);
  // Adds a column (and its default) to the catalog rows of `table`.
  ColumnInfo addColumn(const ColumnDef& d, const TypeInfo& type, bool key, int colid,
                       const TableInfo& table);
  // A column of SQLite's CREATE TABLE; `generated` is a computed column's
  // SQLite expression.
  static std::string columnElement(const ColumnInfo& c, const std::string& generated = {});
  // A computed column's expression bound over the table's stored columns
  // (`t`: the statement, for the names of its other computed columns).
  Typed bindComputed(const ColumnDef& d, const TableInfo& stored, const CreateTableStmt& t);
  // A constraint's catalog rows; `siblings` are the statement's other
  // constraints (a self-reference names the key being made).
  BuiltConstraint addConstraint(const ConstraintDef& c, const std::shared_ptr<TableInfo>& table,
                                const std::vector<ConstraintDef>* siblings, int indid);
  void createKeyIndex(const TableInfo& table, const std::string& name,
                      const std::vector<std::string>& columns);
  void setDefaultsForForeignKey(const TableInfo& table, const ConstraintDef& c,
                                std::vector<std::string>& elements);
  // A column's default as an SQLite literal, or empty unless it is a constant.
  std::string constantDefault(const TableInfo& table, const ColumnInfo& column);

  // The collation a new text column of table `name` in `database` ("" for
  // the current one) takes without COLLATE: tempdb's (the server's) for a
  // #table, the database's otherwise.
  std::uint16_t tableCollation(const std::string& database, const std::string& name) const;
  // CREATE DATABASE's collation by name: the server's when empty; 448 for
  // a name that is no collation.
  static std::uint16_t databaseCollationId(const std::string& name);
  // ALTER DATABASE ... COLLATE.
  void alterDatabase(const CreateDatabaseStmt& c);
  // The columns' types, alias types resolved to their base types; text
  // columns without COLLATE take `collation`.
  std::vector<TypeInfo> columnTypes(const CreateTableStmt& t, std::uint16_t collation);
  void truncate(const TruncateStmt& t);
  // Runs `body` inside a savepoint.
  template <typename F>
  void atomically(F&& body);
  void atomically(const std::function<void()>& body, bool);
  std::string schemaOf(const Name& name, std::string* database);
  // The T-SQL schema a new or named object is in (see ownerOfName); error
  // 2760 when the schema the name gives does not exist.
  int ownerOf(const Name& name, const std::string& schema);

  SqliteSession& s_;
  const Stmt* stmt_ = nullptr;  // the statement being run, for messages
  const Frame* frame_ = nullptr;
};

}  // namespace tessel::sqld::engine
