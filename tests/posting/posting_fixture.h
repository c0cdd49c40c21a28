#pragma once

// The base of the posting tests: a small orders table, a query over it with
// generated-update settings, and reading the table back on the server.

#include <string>
#include <vector>

#include "query_fixture.h"

namespace tessel::testing {

class PostingTest : public QueryTest {
 protected:
  // `table` (id int PRIMARY KEY, qty int NULL, note varchar(40) NULL) holding
  // (1, 5, 'a'), (2, 7, 'b'), (3, 9, NULL).
  void MakeOrders(const std::string& table);
  // A fully cached query over `table` ordered by id, open, with KeyFields id,
  // UpdateFields id, qty, note and the given mode.
  TTessel* OpenOrders(const std::string& table, TUpdateMode mode = upWhereChanged);
  // The first column of every row of `sql`, read on the base connection.
  std::vector<std::string> ServerRows(const std::string& sql);
  // The lines the query would send for `kind` in its current state.
  static std::vector<std::string> Statement(TTessel& query, TUpdateKind kind);
  // Runs `sql` on a connection of its own, as another user would.
  void OtherSession(const std::string& sql);
};

}  // namespace tessel::testing
