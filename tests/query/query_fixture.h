#pragma once

// The base of the query integration tests: an open TSQLServer on the test
// server, queries attached to it, and small tables made for one test.

#include <memory>
#include <string>
#include <vector>

#include "runtime/Tessel.h"
#include "test_server.h"

namespace tessel::testing {

class QueryTest : public IntegrationTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A query attached to `server` with the given SQL text; destroyed before
  // the server.
  TTessel* NewQuery(const std::string& sql);
  // Drops the table if it exists, creates it, and inserts the rows (each a
  // parenthesised VALUES list), one statement each.
  void MakeTable(const std::string& name, const std::string& columns,
                 const std::vector<std::string>& rows);
  // `count` rows of (id int primary key, name varchar(30)): 1, 'name1' ...
  void MakeNumbers(const std::string& name, int count);
  // The string values of one field over the whole dataset, First to Eof.
  static std::vector<std::string> Column(TTessel& query, const std::string& field);

  std::vector<std::unique_ptr<TTessel>> queries;
};

}  // namespace tessel::testing
