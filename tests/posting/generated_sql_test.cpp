// Generated statements: their exact lines in each update mode, what they do
// to the table, and values that must arrive as written.

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "posting_fixture.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class GeneratedSQL : public PostingTest {};

TEST_F(GeneratedSQL, ModifyComparesWhatTheModeSaysAndWritesOnlyChangedColumns) {
  struct Case {
    TUpdateMode mode;
    Lines where;
  };
  const Case cases[] = {
      {upWhereChanged, {"where ", "id=:OLD_id", "and qty=:OLD_qty"}},
      {upWhereKeyOnly, {"where ", "id=:OLD_id"}},
      {upWhereAll, {"where ", "id=:OLD_id", "and qty=:OLD_qty", "and note=:OLD_note"}},
  };
  int qty = 70;
  for (const Case& c : cases) {
    MakeOrders("g_modify");
    TTessel* query = OpenOrders("g_modify", c.mode);
    query->Next();  // id 2
    query->Edit();
    query->FieldByName("qty")->SetAsInteger(qty);
    Lines expected{"update g_modify set qty=:qty"};
    expected.insert(expected.end(), c.where.begin(), c.where.end());
    EXPECT_EQ(Statement(*query, ukModify), expected) << "mode " << int(c.mode);
    query->Post();
    EXPECT_EQ(ServerRows("SELECT qty FROM g_modify ORDER BY id"),
              (Lines{"5", std::to_string(qty), "9"}));
    EXPECT_EQ(ServerRows("SELECT note FROM g_modify WHERE id = 2"), Lines{"b"});
    ++qty;
    queries.clear();
  }
}

TEST_F(GeneratedSQL, InsertWritesEveryColumnAndDeleteComparesTheKey) {
  MakeOrders("g_insert");
  TTessel* query = OpenOrders("g_insert", upWhereChanged);
  EXPECT_EQ(Statement(*query, ukDelete), (Lines{"delete from g_insert", "where ", "id=:OLD_id"}));
  query->Append();
  query->FieldByName("id")->SetAsInteger(4);
  query->FieldByName("qty")->SetAsInteger(11);
  EXPECT_EQ(Statement(*query, ukInsert), (Lines{"insert into g_insert (id", ", qty", ", note)",
                                                "Values(:id", ", :qty", ", :note)"}));
  query->Post();
  EXPECT_EQ(ServerRows("SELECT qty FROM g_insert WHERE id = 4"), Lines{"11"});
  EXPECT_EQ(ServerRows("SELECT note FROM g_insert WHERE id = 4"), Lines{"NULL"});

  query->First();
  query->Delete();
  EXPECT_EQ(ServerRows("SELECT id FROM g_insert ORDER BY id"), (Lines{"2", "3", "4"}));
}

TEST_F(GeneratedSQL, AColumnThatWasNullIsMatchedAsNull) {
  // Row 3 has no note: filling it in must find the row in every mode that
  // compares the note.
  for (TUpdateMode mode : {upWhereChanged, upWhereAll}) {
    MakeOrders("g_null");
    TTessel* query = OpenOrders("g_null", mode);
    query->Last();
    query->Edit();
    query->FieldByName("note")->SetAsString("filled");
    const Lines lines = Statement(*query, ukModify);
    EXPECT_EQ(lines.back(), "and note is null");
    query->Post();
    EXPECT_EQ(ServerRows("SELECT note FROM g_null WHERE id = 3"), Lines{"filled"});
    queries.clear();
  }
  // The same row can be deleted when every column is compared.
  MakeOrders("g_null");
  TTessel* query = OpenOrders("g_null", upWhereAll);
  query->Last();
  query->Delete();
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM g_null"), Lines{"2"});
}

TEST_F(GeneratedSQL, NothingToWriteSendsNothingAndChecksNoRowCount) {
  MakeOrders("g_nothing");
  TTessel* query = OpenOrders("g_nothing", upWhereKeyOnly);
  // Another session removes the row: a statement would now touch no row, so
  // a successful post proves that none was sent.
  OtherSession("DELETE FROM g_nothing WHERE id = 1");
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(5);  // same value as before
  EXPECT_TRUE(Statement(*query, ukModify).empty());
  query->Post();

  // Without update columns, edits and inserts live in the cache alone.
  query->UpdateParams()->UpdateFields()->Clear();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(50);
  query->Post();
  query->Append();
  query->FieldByName("id")->SetAsInteger(9);
  query->Post();
  EXPECT_EQ(query->RecordCount(), 4);
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM g_nothing"), Lines{"2"});
}

TEST_F(GeneratedSQL, ValuesThatLookLikeSQLOrMarkersAreStoredAsWritten) {
  MakeOrders("g_values");
  TTessel* query = OpenOrders("g_values", upWhereChanged);
  const std::string hostile = "x'; drop table g_values; --";
  query->Edit();
  query->FieldByName("note")->SetAsString(hostile);
  query->Post();
  query->Append();
  query->FieldByName("id")->SetAsInteger(4);
  query->FieldByName("note")->SetAsString(":OLD_id");
  query->Post();
  query->Append();
  query->FieldByName("id")->SetAsInteger(5);
  query->FieldByName("note")->SetAsString("it's :qty, \"quoted\"");
  query->Post();

  EXPECT_EQ(ServerRows("SELECT note FROM g_values WHERE id = 1"), Lines{hostile});
  EXPECT_EQ(ServerRows("SELECT note FROM g_values WHERE id = 4"), Lines{":OLD_id"});
  EXPECT_EQ(ServerRows("SELECT note FROM g_values WHERE id = 5"), Lines{"it's :qty, \"quoted\""});
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM g_values"), Lines{"5"});

  // A row whose old note is hostile is still found by it.
  query->First();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(1);
  query->FieldByName("note")->SetAsString("calm");
  query->UpdateParams()->SetUpdateMode(upWhereAll);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT note FROM g_values WHERE id = 1"), Lines{"calm"});
}

}  // namespace
}  // namespace tessel::testing
