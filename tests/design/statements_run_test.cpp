// The builder's statements run on the server as written, also for tables
// and columns whose names need brackets or quoted parameters.

#include <gtest/gtest.h>

#include <memory>

#include "catalog_fixture.h"
#include "design/update_sql_text.h"

namespace tessel::testing {
namespace {

class GeneratedStatementsTest : public CatalogTest {
 protected:
  // Runs one generated text with the given parameter values; returns the
  // rows it changed.
  int Run(const std::string& sql, const std::vector<std::pair<std::string, int>>& values) {
    auto statement = std::make_unique<TTessel>(nullptr);
    statement->SetSQLServer(server.get());
    statement->SQL()->SetText(sql);
    EXPECT_EQ(statement->Params()->Count(), static_cast<int>(values.size())) << sql;
    for (const auto& [name, value] : values) statement->ParamByName(name)->SetAsInteger(value);
    statement->ExecSQL();
    return statement->RowsAffected();
  }
  std::vector<std::string> Table(const std::string& select) {
    return Rows(server->GetBaseProcess(), select);
  }
};

TEST_F(GeneratedStatementsTest, AwkwardNamesRun) {
  for (const std::string table : {"order details", "a'b'c"}) {
    SCOPED_TRACE(table);
    MakeTable(SQLName(table), "[my col] int, [order] int, [key] int PRIMARY KEY");
    const TlqUpdateSQLText sql = BuildUpdateSQL({table, {"my col", "order"}, {"key"}, true});
    ASSERT_EQ(sql.Refusal, "");
    const std::string select = "select [my col] + 10 * [order] from " + SQLName(table);

    EXPECT_EQ(Run(sql.InsertSQL, {{"my col", 1}, {"order", 2}, {"key", 7}}), 1);
    EXPECT_EQ(Table(select), std::vector<std::string>{"21"});
    EXPECT_EQ(Run(sql.ModifySQL, {{"my col", 3}, {"order", 4}, {"OLD_key", 7}}), 1);
    EXPECT_EQ(Table(select), std::vector<std::string>{"43"});
    EXPECT_EQ(Run(sql.DeleteSQL, {{"OLD_key", 7}}), 1);
    EXPECT_EQ(Table(select), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace tessel::testing
