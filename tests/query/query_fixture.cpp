#include "query_fixture.h"

#include "framework/sysutils.h"

namespace tessel::testing {

void QueryTest::SetUp() {
  IntegrationTest::SetUp();
  if (IsSkipped()) return;
  RequireConnections();
}

void QueryTest::TearDown() {
  queries.clear();
  IntegrationTest::TearDown();
}

TTessel* QueryTest::NewQuery(const std::string& sql) {
  queries.push_back(std::make_unique<TTessel>(nullptr));
  TTessel* query = queries.back().get();
  query->SetSQLServer(server.get());
  query->SQL()->SetText(sql);
  return query;
}

void QueryTest::MakeTable(const std::string& name, const std::string& columns,
                          const std::vector<std::string>& rows) {
  try {
    server->InternalExecute("DROP TABLE " + name);
  } catch (const ElqSQLError&) {
    // It did not exist.
  }
  RequireStatement("CREATE TABLE " + name + " (" + columns + ")");
  for (const std::string& row : rows) {
    server->InternalExecute("INSERT INTO " + name + " VALUES " + row);
  }
}

void QueryTest::MakeNumbers(const std::string& name, int count) {
  std::vector<std::string> rows;
  for (int i = 1; i <= count; ++i) rows.push_back(Format("(%d, 'name%d')", {i, i}));
  MakeTable(name, "id int PRIMARY KEY, name varchar(30)", rows);
}

std::vector<std::string> QueryTest::Column(TTessel& query, const std::string& field) {
  std::vector<std::string> values;
  for (query.First(); !query.Eof(); query.Next()) {
    values.push_back(query.FieldByName(field)->AsString());
  }
  return values;
}

}  // namespace tessel::testing
