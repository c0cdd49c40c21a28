// The record cache after posts and deletes: positions, record numbers,
// counts and bookmarks, lazily read results, LocalEdit, and what a post does
// to the values on the way (trimming, blanks to null, field defaults).

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "posting_fixture.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class PostCache : public PostingTest {};

TEST_F(PostCache, InsertTakesThePositionAndOtherRecordsKeepTheirBookmarks) {
  MakeNumbers("c_insert", 5);
  TTessel* query = NewQuery("SELECT id, name FROM c_insert ORDER BY id");
  query->SetCacheAllRecords(true);
  query->UpdateParams()->SetTableName("c_insert");
  query->UpdateParams()->UpdateFields()->SetText("id\nname");
  query->UpdateParams()->KeyFields()->Add("id");
  query->Open();
  query->MoveBy(2);  // record 3
  const TBookmark third = query->GetBookmark();
  query->Insert();
  query->FieldByName("id")->SetAsInteger(25);
  query->FieldByName("name")->SetAsString("new");
  query->Post();
  EXPECT_EQ(query->RecNo(), 3);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 25);
  EXPECT_EQ(query->RecordCount(), 6);
  EXPECT_EQ(Column(*query, "id"), (Lines{"1", "2", "25", "3", "4", "5"}));
  query->GotoBookmark(third);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  EXPECT_EQ(query->RecNo(), 4);

  // The new record has a bookmark of its own.
  query->Append();
  query->FieldByName("id")->SetAsInteger(99);
  query->FieldByName("name")->SetAsString("last");
  query->Post();
  const TBookmark appended = query->GetBookmark();
  EXPECT_EQ(query->RecNo(), 7);
  query->First();
  query->GotoBookmark(appended);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 99);
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_insert"), Lines{"7"});
}

TEST_F(PostCache, DeleteLeavesTheCursorOnTheNextRecordOrTheNewLast) {
  MakeNumbers("c_delete", 5);
  TTessel* query = NewQuery("SELECT id, name FROM c_delete ORDER BY id");
  query->SetCacheAllRecords(true);
  query->UpdateParams()->SetTableName("c_delete");
  query->UpdateParams()->KeyFields()->Add("id");
  query->Open();
  query->Next();  // record 2
  query->Delete();
  EXPECT_EQ(query->RecNo(), 2);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  query->Last();
  query->Delete();
  EXPECT_EQ(query->RecNo(), 3);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 4);
  EXPECT_EQ(query->RecordCount(), 3);
  EXPECT_EQ(Column(*query, "id"), (Lines{"1", "3", "4"}));
  while (!query->IsEmpty()) query->Delete();
  EXPECT_EQ(query->RecordCount(), 0);
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_delete"), Lines{"0"});

  // An empty dataset takes a new record.
  query->Insert();
  query->FieldByName("id")->SetAsInteger(7);
  query->FieldByName("name")->SetAsString("seven");
  query->Post();
  EXPECT_EQ(query->RecordCount(), 1);
  EXPECT_EQ(query->RecNo(), 1);
}

TEST_F(PostCache, ALazilyReadResultIsEditedInPlaceAndAppendReadsTheRestFirst) {
  MakeNumbers("c_lazy", 40);
  TTessel* query = NewQuery("SELECT id, name FROM c_lazy ORDER BY id");
  query->UpdateParams()->SetTableName("c_lazy");
  query->UpdateParams()->UpdateFields()->SetText("id\nname");
  query->UpdateParams()->KeyFields()->Add("id");
  query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  query->Open();
  ASSERT_FALSE(query->AllFetched());
  query->Next();
  query->Edit();
  query->FieldByName("name")->SetAsString("edited");
  query->Post();
  EXPECT_EQ(query->FieldByName("name")->AsString(), "edited");
  EXPECT_EQ(ServerRows("SELECT name FROM c_lazy WHERE id = 2"), Lines{"edited"});

  query->Append();
  query->FieldByName("id")->SetAsInteger(41);
  query->FieldByName("name")->SetAsString("name41");
  query->Post();
  EXPECT_TRUE(query->AllFetched());
  EXPECT_EQ(query->RecordCount(), 41);
  EXPECT_EQ(query->RecNo(), 41);
  query->Prior();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 40);
}

TEST_F(PostCache, LocalEditChangesTheCacheOnlyButDeletesStillReachTheServer) {
  MakeOrders("c_local");
  TTessel* query = OpenOrders("c_local");
  query->SetOptions(TOption{LocalEdit});
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(500);
  query->Post();
  query->Append();
  query->FieldByName("id")->SetAsInteger(8);
  query->Post();
  EXPECT_EQ(query->RecordCount(), 4);
  EXPECT_EQ(ServerRows("SELECT qty FROM c_local WHERE id = 1"), Lines{"5"});
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_local WHERE id = 8"), Lines{"0"});

  query->First();
  query->Delete();
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_local WHERE id = 1"), Lines{"0"});
}

TEST_F(PostCache, StringsAreTrimmedAndBlanksBecomeNull) {
  MakeOrders("c_trim");
  TTessel* query = OpenOrders("c_trim");
  query->Edit();
  query->FieldByName("note")->SetAsString("  abc  ");
  query->Post();
  EXPECT_EQ(query->FieldByName("note")->AsString(), "abc");
  EXPECT_EQ(ServerRows("SELECT note FROM c_trim WHERE id = 1"), Lines{"abc"});

  query->SetOptions(TOption{ConvertBlankToNull});
  query->Next();
  query->Edit();
  query->FieldByName("note")->SetAsString("   ");
  query->Post();
  EXPECT_TRUE(query->FieldByName("note")->IsNull());
  EXPECT_EQ(ServerRows("SELECT note FROM c_trim WHERE id = 2"), Lines{"NULL"});
}

TEST_F(PostCache, DefaultExpressionOverridesOnNewRecord) {
  MakeOrders("c_default");
  TTessel* query = OpenOrders("c_default");
  query->FieldByName("qty")->SetDefaultExpression("0");
  query->OnNewRecord = [](TDataSet* data) { data->FieldByName("qty")->SetAsInteger(3); };
  query->Append();
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 0);
  query->FieldByName("id")->SetAsInteger(12);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT qty FROM c_default WHERE id = 12"), Lines{"0"});
}

}  // namespace
}  // namespace tessel::testing
