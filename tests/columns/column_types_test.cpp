// Every result column becomes a field or the open fails naming it: repeated
// names are numbered, bigint is a 64-bit field that reads and writes every
// value, and a type the query cannot hold is refused rather than dropped.

#include <string>
#include <vector>

#include "columns_fixture.h"
#include "framework/field_kinds.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

using ColumnTypesTest = ColumnsTest;

std::vector<std::string> FieldNames(TTessel& query) {
  std::vector<std::string> names;
  for (TField* field : query.Fields()->List()) names.push_back(field->FieldName());
  return names;
}

TEST_F(ColumnTypesTest, RepeatedNamesAreNumberedAndKeepTheirValues) {
  MakeTable("c_left", "id int, name varchar(10)", {"(1, 'one')", "(2, 'two')"});
  MakeTable("c_right", "ID int, name varchar(10)", {"(1, 'uno')", "(2, 'dos')"});
  // The third id and its own alias id_1 collide with a numbered name too.
  TTessel* query = NewQuery(
      "SELECT c_left.id, c_right.ID, c_left.name, c_right.name, c_left.id + 10 AS id_1 "
      "FROM c_left JOIN c_right ON c_left.id = c_right.ID ORDER BY c_left.id");
  query->Open();
  EXPECT_EQ(FieldNames(*query), (Lines{"id", "ID_1", "name", "name_1", "id_1_1"}));
  EXPECT_EQ(query->ColumnName(1), "id");
  EXPECT_EQ(query->ColumnName(2), "ID");
  EXPECT_EQ(query->ColumnName(4), "name");
  EXPECT_EQ(query->ColumnName(5), "id_1");
  EXPECT_EQ(Column(*query, "name"), (Lines{"one", "two"}));
  EXPECT_EQ(Column(*query, "name_1"), (Lines{"uno", "dos"}));
  EXPECT_EQ(Column(*query, "id_1_1"), (Lines{"11", "12"}));
  // A reopen numbers afresh: no name is carried over from the last open.
  query->Close();
  query->Open();
  EXPECT_EQ(FieldNames(*query), (Lines{"id", "ID_1", "name", "name_1", "id_1_1"}));
}

TEST_F(ColumnTypesTest, BigintIsALargeintFieldWithEveryValue) {
  MakeTable("c_bigint", "k int, v bigint NULL",
            {"(1, 9000000000)", "(2, -9223372036854775807)", "(3, NULL)", "(4, 9007199254740993)"});
  TTessel* query = NewQuery("SELECT v FROM c_bigint ORDER BY k");
  query->SetCacheAllRecords(true);
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
  query->Next();
  // 2^53 + 1 has no double: a trip through floating point would change it.
  EXPECT_EQ(large->AsLargeInt(), 9007199254740993LL);
  query->SortField("v", soAscending);
  EXPECT_EQ(Column(*query, "v"),
            (Lines{"", "-9223372036854775807", "9000000000", "9007199254740993"}));
}

TEST_F(ColumnTypesTest, BigintValuesAreWrittenBackWhole) {
  MakeTable("c_bigpost", "k bigint PRIMARY KEY, v bigint NULL",
            {"(9000000001, 1)", "(9000000002, 2)"});
  TTessel* query = EditableQuery("SELECT k, v FROM c_bigpost ORDER BY k", "c_bigpost", "k", "k\nv");
  auto* v = dynamic_cast<TLargeintField*>(query->FieldByName("v"));
  ASSERT_NE(v, nullptr);
  // The key beyond 32 bits finds its row; the new value keeps every digit.
  query->Edit();
  v->SetAsLargeInt(9007199254740993LL);
  query->Post();
  query->Append();
  query->FieldByName("k")->SetAsString("-9223372036854775807");
  v->SetAsLargeInt(4294967296LL);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT v FROM c_bigpost ORDER BY k"),
            (Lines{"4294967296", "9007199254740993", "2"}));
  // The same through a prepared statement, whose values go as parameters.
  TTessel* update = NewQuery("UPDATE c_bigpost SET v = :v WHERE k = :k");
  update->ParamByName("v")->SetDataType(ftLargeint);
  update->ParamByName("v")->SetValue(Variant(static_cast<long long>(-9007199254740993LL)));
  update->ParamByName("k")->SetDataType(ftLargeint);
  update->ParamByName("k")->SetValue(Variant(static_cast<long long>(9000000002LL)));
  update->Prepare();
  update->ExecSQL();
  EXPECT_EQ(update->RowsAffected(), 1);
  EXPECT_EQ(ServerRows("SELECT v FROM c_bigpost WHERE k = 9000000002"),
            (Lines{"-9007199254740993"}));
}

TEST_F(ColumnTypesTest, ExecSQLCountsChangedRowsNotRowsRead) {
  MakeNumbers("c_count", 3);
  TTessel* batch = NewQuery(
      "UPDATE c_count SET name = 'x' WHERE id < 3\n"
      "SELECT id FROM c_count");
  batch->ExecSQL();
  EXPECT_EQ(batch->RowsAffected(), 2) << "the three rows read are no rows affected";
}

TEST_F(ColumnTypesTest, AColumnOfAnUnknownTypeFailsTheOpenNamingIt) {
  // sql_variant has no field kind here: the open is refused.
  MakeTypedTable("c_variant", "v sql_variant NULL", {"(1)"});
  if (IsSkipped()) return;
  TTessel* query = NewQuery("SELECT v AS odd_one FROM c_variant");
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
