#pragma once

// Where the explorer writes the edits of a result: the one table a SELECT
// reads, its primary key and the columns a post may write, taken from the
// server's catalog through the designer's catalog session. A result that
// cannot be written back (a join, a view, a table without a primary key, a
// key column left out of the select list) gets the reason instead, and the
// window shows it read-only. Main thread.

#include <string>
#include <vector>

namespace tessel {
class TSQLServer;
class TDataSet;
}  // namespace tessel

namespace tessel::explorer {

struct UpdateTarget {
  std::string table;  // as the statement names it; empty when not writable
  std::vector<std::string> keys;
  std::vector<std::string> columns;
  std::string why_not;  // why the result is read-only
};

// The table a single SELECT reads when it reads exactly one ("dbo.t",
// "[my table]" as written); otherwise empty, and why says what is in the way.
std::string SingleTable(const std::string& sql, std::string& why);

// Reads the catalog for the table of sql and matches its columns with the
// fields of result (open). Fields that are no column of the table, identity
// and computed columns become read-only, so that nothing typed into them is
// silently dropped. Raises what the catalog queries raise.
UpdateTarget FindUpdateTarget(TSQLServer* server, const std::string& sql, TDataSet& result);

}  // namespace tessel::explorer
