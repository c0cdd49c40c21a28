// Every result column becomes a field or the open fails naming it: repeated
// names are numbered, bigint is a 64-bit field, and a type the query cannot
// hold is refused rather than dropped.

#include <string>
#include <vector>

#include "framework/field_kinds.h"
#include "query_fixture.h"

namespace tessel::testing {
namespace {

class ColumnTypesTest : public QueryTest {
 protected:
  // Creates a one-column table of `type` holding `value`; skips the test when
  // the server does not know the type yet.
  void MakeTypedTable(const std::string& table, const std::string& type, const std::string& value) {
    MakeTable(table, "v " + type + " NULL", {"(" + value + ")"});
  }
};

std::vector<std::string> FieldNames(TTessel& query) {
  std::vector<std::string> names;
  for (TField* field : query.Fields()->List()) names.push_back(field->FieldName());
  return names;
}

TEST_F(ColumnTypesTest, RepeatedNamesAreNumberedAndKeepTheirValues) {
  MakeTable("e_left", "id int, name varchar(10)", {"(1, 'one')", "(2, 'two')"});
  MakeTable("e_right", "ID int, name varchar(10)", {"(1, 'uno')", "(2, 'dos')"});
  TTessel* query = NewQuery(
      "SELECT e_left.id, e_right.ID, e_left.name, e_right.name, e_left.id + 10 AS id_1 "
      "FROM e_left JOIN e_right ON e_left.id = e_right.ID ORDER BY e_left.id");
  query->Open();
  EXPECT_EQ(FieldNames(*query),
            (std::vector<std::string>{"id", "ID_1", "name", "name_1", "id_1_1"}));
  EXPECT_EQ(query->ColumnName(2), "ID");
  EXPECT_EQ(query->ColumnName(4), "name");
  EXPECT_EQ(Column(*query, "name_1"), (std::vector<std::string>{"uno", "dos"}));
  EXPECT_EQ(Column(*query, "id_1_1"), (std::vector<std::string>{"11", "12"}));
}

TEST_F(ColumnTypesTest, BigintIsALargeintFieldWithEveryValue) {
  MakeTable("e_bigint", "k int, v bigint NULL",
            {"(1, 9000000000)", "(2, -9223372036854775807)", "(3, NULL)"});
  TTessel* query = NewQuery("SELECT v FROM e_bigint ORDER BY k");
  query->Open();
  TField* field = query->FieldByName("v");
  ASSERT_EQ(field->DataType(), ftLargeint);
  auto* large = dynamic_cast<TLargeintField*>(field);
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(large->AsLargeInt(), 9000000000LL);
  EXPECT_EQ(field->AsString(), "9000000000");
  EXPECT_THROW(field->AsInteger(), EDatabaseError) << "the value does not fit 32 bits";
  query->Next();
  EXPECT_EQ(large->AsLargeInt(), -9223372036854775807LL);
  query->Next();
  EXPECT_TRUE(field->IsNull());
}

TEST_F(ColumnTypesTest, AColumnOfAnUnknownTypeFailsTheOpenNamingIt) {
  // sql_variant has no field kind here: the open is refused.
  MakeTypedTable("e_variant", "sql_variant", "1");
  if (IsSkipped()) return;
  TTessel* query = NewQuery("SELECT v AS odd_one FROM e_variant");
  query->SetCacheAllRecords(true);  // on the shared connection
  try {
    query->Open();
    FAIL() << "opened with a column it cannot hold";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("odd_one"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("sql_variant"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(query->Active());
  // The shared connection is left without the refused result pending.
  TTessel* other = NewQuery("SELECT 1 AS one");
  other->SetCacheAllRecords(true);
  other->Open();
  EXPECT_EQ(other->FieldByName("one")->AsInteger(), 1);
}

}  // namespace
}  // namespace tessel::testing
