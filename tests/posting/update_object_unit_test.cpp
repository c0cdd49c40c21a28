// The update object without a server: its three texts, the statement queries
// it keeps and how text changes reach them, and its links to the query.

#include <gtest/gtest.h>

#include <string>

#include "framework/exceptions.h"
#include "runtime/Tessel.h"

namespace tessel {
namespace {

TEST(UpdateObject, PropertiesAreTheListsOfTheirKinds) {
  TSQLUpdate update(nullptr);
  update.ModifySQL()->SetText("update t set a=:a");
  TStringList insert;
  insert.SetText("insert into t (a)\nValues(:a)");
  update.SetInsertSQL(&insert);
  insert.Clear();  // a copy was taken, not the list
  update.SetSQL(ukDelete, &insert);
  update.DeleteSQL()->Add("delete from t where a=:OLD_a");

  EXPECT_EQ(update.GetSQLIndex(0), update.ModifySQL());
  EXPECT_EQ(update.GetSQL(ukInsert), update.InsertSQL());
  EXPECT_EQ(update.GetSQLIndex(2)->Count(), 1);
  EXPECT_EQ(update.InsertSQL()->Count(), 2);
  EXPECT_EQ((*update.GetSQL(ukModify))[0], "update t set a=:a");
  EXPECT_THROW(update.GetSQLIndex(3), EListError);
  EXPECT_THROW(update.SetSQLIndex(-1, &insert), EListError);
}

TEST(UpdateObject, AQueryTakesLaterTextsAndItsParametersAgain) {
  TSQLUpdate update(nullptr);
  update.InsertSQL()->SetText("insert into t (a) Values(:a)");
  TTessel* query = update.GetQuery(ukInsert);
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(update.GetQuery(ukInsert), query);  // kept, not made again
  EXPECT_EQ(query->Owner(), &update);
  EXPECT_EQ(query->DataBaseName(), nullptr);  // no data set: no connection component
  ASSERT_EQ(query->Params()->Count(), 1);
  query->Params()->Items(0)->SetAsInteger(4);

  update.InsertSQL()->SetText("insert into t (a, b) Values(:a, :b)");
  ASSERT_EQ(query->Params()->Count(), 2);
  EXPECT_EQ(query->Params()->Items(1)->Name(), "b");
  // Parameters are cleared before the new text is parsed: no stale value.
  EXPECT_TRUE(query->Params()->Items(0)->IsNull());
  EXPECT_NE(query->SQL()->Text().find(":b"), std::string::npos);
  // Editing one list leaves the other kinds' queries alone.
  TTessel* modify = update.GetQuery(ukModify);
  update.DeleteSQL()->SetText("delete from t");
  EXPECT_EQ(modify->SQL()->Count(), 0);
}

TEST(UpdateObject, QueriesTakeTheConnectionOfTheDataSetAtCreation) {
  TSQLServer first(nullptr), second(nullptr);
  TTessel data(nullptr);
  data.SetSQLServer(&first);
  TSQLUpdate update(nullptr);
  data.SetUpdateObject(&update);
  EXPECT_EQ(update.DataSet(), &data);
  TTessel* modify = update.GetQuery(ukModify);
  EXPECT_EQ(modify->DataBaseName(), &first);
  data.SetSQLServer(&second);
  EXPECT_EQ(modify->DataBaseName(), &first);
  EXPECT_EQ(update.GetQuery(ukDelete)->DataBaseName(), &second);
}

TEST(UpdateObject, EitherSideGoingFirstLeavesNoDanglingReference) {
  auto update = std::make_unique<TSQLUpdate>(nullptr);
  TTessel* query = update->GetQuery(ukModify);
  delete query;  // the owner is told and forgets it
  TTessel* fresh = update->GetQuery(ukModify);
  EXPECT_NE(fresh, nullptr);
  EXPECT_EQ(update->ComponentCount(), 1);

  TTessel data(nullptr);
  data.SetUpdateObject(update.get());
  update.reset();
  EXPECT_EQ(data.UpdateObject(), nullptr);

  auto other = std::make_unique<TSQLUpdate>(nullptr);
  {
    TTessel shortLived(nullptr);
    shortLived.SetUpdateObject(other.get());
  }
  EXPECT_EQ(other->DataSet(), nullptr);
}

TEST(UpdateObject, ApplyWithoutConnectionRaisesAndSendsNothing) {
  TSQLUpdate update(nullptr);
  update.ModifySQL()->SetText("update t set a=1");
  EXPECT_THROW(update.Apply(ukModify), EDatabaseError);
}

TEST(UpdateSettings, WhichWayAQueryWrites) {
  TTessel query(nullptr);
  EXPECT_TRUE(query.CanModify());  // the constructor's settings
  query.SetUpdateParams(nullptr);
  EXPECT_EQ(query.UpdateParams(), nullptr);
  EXPECT_FALSE(query.CanModify());
  query.SetOptions(TOption{LocalEdit});
  EXPECT_TRUE(query.CanModify());
  query.SetOptions(TOption{});

  TUpdateParams settings;
  settings.SetTableName("orders");
  settings.KeyFields()->Add("id");
  settings.SetUpdateMode(upWhereKeyOnly);
  TSQLUpdate update(nullptr);
  query.SetUpdateObject(&update);
  EXPECT_TRUE(query.CanModify());
  query.SetUpdateParams(&settings);
  // Settings replace the update object and are a copy the caller keeps.
  EXPECT_EQ(query.UpdateObject(), nullptr);
  ASSERT_NE(query.UpdateParams(), nullptr);
  EXPECT_NE(query.UpdateParams(), &settings);
  EXPECT_EQ(query.UpdateParams()->TableName(), "orders");
  EXPECT_EQ(query.UpdateParams()->UpdateMode(), upWhereKeyOnly);
  EXPECT_EQ(query.UpdateParams()->KeyFields()->Count(), 1);
}

TEST(UpdateSettings, AssignCopiesEverythingAndIgnoresNothingGiven) {
  TUpdateParams source, target;
  source.UpdateFields()->SetText("id\nqty");
  source.KeyFields()->SetText("id");
  source.SetTableName("orders");
  source.SetUpdateMode(upWhereAll);
  target.Assign(&source);
  EXPECT_EQ(target.UpdateFields()->Text(), source.UpdateFields()->Text());
  EXPECT_EQ(target.KeyFields()->Count(), 1);
  EXPECT_EQ(target.TableName(), "orders");
  EXPECT_EQ(target.UpdateMode(), upWhereAll);
  target.Assign(nullptr);
  EXPECT_EQ(target.TableName(), "orders");
  target.SetKeyFields(nullptr);
  EXPECT_EQ(target.KeyFields()->Count(), 0);
  TStringList unrelated;
  EXPECT_THROW(target.Assign(&unrelated), Exception);
}

}  // namespace
}  // namespace tessel
