// Posting through an update object: its statements with new and old values,
// text changes after first use, and statements that touch no row.

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "posting_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class UpdateObjectPost : public PostingTest {
 protected:
  TTessel* OpenWithUpdateObject(const std::string& table) {
    MakeOrders(table);
    TTessel* query = NewQuery("SELECT id, qty, note FROM " + table + " ORDER BY id");
    query->SetCacheAllRecords(true);
    update = std::make_unique<TSQLUpdate>(nullptr);
    query->SetUpdateObject(update.get());
    query->Open();
    return query;
  }
  void TearDown() override {
    PostingTest::TearDown();
    update.reset();
  }
  std::unique_ptr<TSQLUpdate> update;
};

TEST_F(UpdateObjectPost, StatementsTakeNewAndOldValues) {
  TTessel* query = OpenWithUpdateObject("u_orders");
  EXPECT_EQ(query->UpdateParams(), nullptr);  // the object replaces the settings
  update->ModifySQL()->SetText("update u_orders set id=:id, qty=:qty where id=:old_id");
  update->InsertSQL()->SetText("insert into u_orders (id, qty, note) values (:id, :qty, :nothing)");
  update->DeleteSQL()->SetText("delete from u_orders where id=:OLD_ID");

  query->Next();  // id 2, qty 7
  query->Edit();
  query->FieldByName("id")->SetAsInteger(12);
  query->FieldByName("qty")->SetAsInteger(70);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT qty FROM u_orders WHERE id = 12"), Lines{"70"});
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM u_orders WHERE id = 2"), Lines{"0"});
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 12);

  // A parameter without a field is sent as null.
  query->Append();
  query->FieldByName("id")->SetAsInteger(20);
  query->FieldByName("note")->SetAsString("ignored");
  query->Post();
  EXPECT_EQ(ServerRows("SELECT note FROM u_orders WHERE id = 20"), Lines{"NULL"});
  EXPECT_EQ(query->RecordCount(), 4);

  query->First();
  query->Delete();
  EXPECT_EQ(ServerRows("SELECT id FROM u_orders ORDER BY id"), (Lines{"3", "12", "20"}));
  EXPECT_EQ(query->RecordCount(), 3);
}

TEST_F(UpdateObjectPost, ANewTextIsUsedByTheNextPost) {
  TTessel* query = OpenWithUpdateObject("u_text");
  update->InsertSQL()->SetText("insert into u_text (id, qty) values (:id, 1)");
  query->Append();
  query->FieldByName("id")->SetAsInteger(4);
  query->Post();
  TStringList text;
  text.SetText("insert into u_text (id, qty) values (:id, 2)");
  update->SetInsertSQL(&text);
  query->Append();
  query->FieldByName("id")->SetAsInteger(5);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT qty FROM u_text WHERE id >= 4 ORDER BY id"), (Lines{"1", "2"}));
}

TEST_F(UpdateObjectPost, NoRowTouchedFailsAndLeavesEverythingAsItWas) {
  TTessel* query = OpenWithUpdateObject("u_none");
  update->ModifySQL()->SetText("update u_none set qty=:qty where id=:OLD_id and qty=:OLD_qty");
  update->DeleteSQL()->SetText("delete from u_none where id=:OLD_id");
  OtherSession("UPDATE u_none SET qty = 0 WHERE id = 1");
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(6);
  bool offered = false;
  query->OnUpdateError = [&](TDataSet* data, EDatabaseError&, TDataAction&) {
    offered = data == query;
  };
  EXPECT_THROW(query->Post(), EDatabaseError);
  EXPECT_TRUE(offered);
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 6);
  query->Cancel();
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 5);

  OtherSession("DELETE FROM u_none WHERE id = 1");
  EXPECT_THROW(query->Delete(), EDatabaseError);
  EXPECT_EQ(query->RecordCount(), 3);

  // An empty statement is no statement.
  query->Next();
  update->ModifySQL()->Clear();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(1);
  EXPECT_THROW(query->Post(), EDatabaseError);
  EXPECT_EQ(ServerRows("SELECT qty FROM u_none WHERE id = 2"), Lines{"7"});
}

// A timestamp read with the row guards its update: the server stamps a row
// anew on every write, so a row another user changed meanwhile no longer
// matches, and a row posted once matches no more either.
TEST_F(UpdateObjectPost, ATimestampReadWithTheRowGuardsItsUpdate) {
  MakeTable("u_stamped", "id int PRIMARY KEY, qty int NULL, rv timestamp",
            {"(1, 5, DEFAULT)", "(2, 7, DEFAULT)"});
  TTessel* query = NewQuery("SELECT id, qty, rv FROM u_stamped ORDER BY id");
  query->SetCacheAllRecords(true);
  update = std::make_unique<TSQLUpdate>(nullptr);
  query->SetUpdateObject(update.get());
  query->Open();
  update->ModifySQL()->SetText("update u_stamped set qty=:qty where id=:OLD_id and rv=:OLD_rv");
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(6);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT qty FROM u_stamped WHERE id = 1"), Lines{"6"});

  query->Next();
  OtherSession("UPDATE u_stamped SET qty = 0 WHERE id = 2");
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(8);
  EXPECT_THROW(query->Post(), EDatabaseError);
  query->Cancel();
  EXPECT_EQ(ServerRows("SELECT qty FROM u_stamped WHERE id = 2"), Lines{"0"});
}

TEST_F(UpdateObjectPost, EveryTransactionCoversTheStatements) {
  TTessel* query = OpenWithUpdateObject("u_trans");
  update->ModifySQL()->SetText("update u_trans set qty=:qty where id=:OLD_id");
  server->StartTransaction();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(50);
  query->Post();
  server->Commit();
  // The next transaction gets a fresh base connection: the kept statement
  // query must follow it, or its writes would escape the rollback.
  server->StartTransaction();
  query->Next();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(70);
  query->Post();
  server->RollBack();
  EXPECT_EQ(ServerRows("SELECT qty FROM u_trans ORDER BY id"), (Lines{"50", "7", "9"}));
}

TEST_F(UpdateObjectPost, AStatementQueryMadeBeforeTheLinkHasNoConnection) {
  MakeOrders("u_early");
  TTessel* query = NewQuery("SELECT id, qty, note FROM u_early ORDER BY id");
  query->SetCacheAllRecords(true);
  update = std::make_unique<TSQLUpdate>(nullptr);
  update->ModifySQL()->SetText("update u_early set qty=:qty where id=:OLD_id");
  update->GetQuery(ukModify);  // made while no query is served
  query->SetUpdateObject(update.get());
  query->Open();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(6);
  EXPECT_THROW(query->Post(), EDatabaseError);
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 6);
  EXPECT_EQ(ServerRows("SELECT qty FROM u_early WHERE id = 1"), Lines{"5"});
}

}  // namespace
}  // namespace tessel::testing
