#include "posting_fixture.h"

namespace tessel::testing {

void PostingTest::MakeOrders(const std::string& table) {
  MakeTable(table, "id int PRIMARY KEY, qty int NULL, note varchar(40) NULL",
            {"(1, 5, 'a')", "(2, 7, 'b')", "(3, 9, NULL)"});
}

TTessel* PostingTest::OpenOrders(const std::string& table, TUpdateMode mode) {
  TTessel* query = NewQuery("SELECT id, qty, note FROM " + table + " ORDER BY id");
  query->SetCacheAllRecords(true);
  TUpdateParams settings;
  settings.SetTableName(table);
  settings.KeyFields()->Add("id");
  settings.UpdateFields()->SetText("id\nqty\nnote");
  settings.SetUpdateMode(mode);
  query->SetUpdateParams(&settings);
  query->Open();
  return query;
}

std::vector<std::string> PostingTest::ServerRows(const std::string& sql) {
  return Rows(server->GetBaseProcess(), sql);
}

std::vector<std::string> PostingTest::Statement(TTessel& query, TUpdateKind kind) {
  TStringList lines;
  query.BuildUpdateSQL(kind, &lines);
  std::vector<std::string> result;
  for (int i = 0; i < lines.Count(); ++i) result.push_back(lines[i]);
  return result;
}

void PostingTest::OtherSession(const std::string& sql) {
  PDBPROCESS other = server->GetConnection(nullptr, false);
  try {
    Rows(other, sql);
  } catch (...) {
    server->CloseConnection(other);
    throw;
  }
  server->CloseConnection(other);
}

}  // namespace tessel::testing
