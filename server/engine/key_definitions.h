#pragma once

// What the catalog tables do not keep of a table's keys, read back from the
// table's SQLite definition and indexes for the catalog views: a foreign
// key's column pairs and referential actions, the unique index it refers
// through, and whether an index key is descending. And the status bit that
// marks a constraint the rows already there were not checked against.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace tessel::sqld::engine {

// sysobjects.status of a check or foreign key added WITH NOCHECK
// (is_not_trusted in the views, which spell it 16384).
constexpr int kConstraintNotTrustedStatus = 0x4000;

// A foreign key as the CONSTRAINT element of a stored table definition
// states it. Actions are "CASCADE", "SET NULL", "SET DEFAULT", or empty for
// NO ACTION.
struct ForeignKeyText {
  std::vector<std::string> columns;
  std::vector<std::string> refColumns;
  std::string onDelete;
  std::string onUpdate;
};

// The foreign key `name` in the CREATE TABLE text `sql`, or nothing.
std::optional<ForeignKeyText> findForeignKey(std::string_view sql, const std::string& name);

// Registers t_fkattr(schema, constraint id, what, key number) and
// t_indexkeydesc(schema, table id, index id, key number) for the views.
void registerKeyFunctions(sqlite3* db);

}  // namespace tessel::sqld::engine
