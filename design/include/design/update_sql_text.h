#pragma once

// The INSERT, UPDATE and DELETE statements that the SQL builder writes for an
// update object, from a table, the chosen columns and the WHERE mode. They use
// the query's parameter syntax: ":name" takes the field's new value,
// ":OLD_name" its old value. Table and column names that are not plain
// identifiers are bracketed, and their parameters quoted, so that the
// statements run as written. Pure functions; any thread.

#include <string>
#include <vector>

namespace tessel {

struct TlqUpdateSQLChoice {
  std::string Table;
  std::vector<std::string> UpdateFields;  // selected update columns, in list order
  std::vector<std::string> KeyFields;     // selected key columns, in list order
  // Compare the key columns in the WHERE clause (upWhereKeyOnly) rather than
  // the update columns (upWhereAll).
  bool WhereKeyOnly = false;
};

// Each text as the builder's memo holds it: lines joined by "\n"; the UPDATE
// and DELETE texts end with a line break. An empty text means no statement.
struct TlqUpdateSQLText {
  // Why nothing was generated; empty when the three texts were built.
  std::string Refusal;
  std::string InsertSQL;
  std::string ModifySQL;
  std::string DeleteSQL;
};

// Builds the three statements. Refuses (Refusal set, texts empty) when no
// table is given, when the WHERE clause would compare no column (a lone
// "where" fails, and no WHERE at all would touch every row), or when a name
// cannot be carried by the parameter syntax.
TlqUpdateSQLText BuildUpdateSQL(const TlqUpdateSQLChoice& Choice);

// A table or column name as written into a statement: as it is when it is a
// plain identifier, else in brackets with "]" doubled.
std::string SQLName(const std::string& Name);
// The parameter reference for a column: ":" and the name, with the name in
// double quotes when it holds anything but letters, digits, "_", "@", "#"
// and "$".
std::string ParamRef(const std::string& Name);

}  // namespace tessel
