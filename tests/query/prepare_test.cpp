// Prepared statements: the temporary procedure, typed arguments, and what
// ends a preparation.

#include <string>

#include "framework/exceptions.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class PrepareTest : public QueryTest {};

TEST_F(PrepareTest, PreparedQueryRunsTheProcedureWithTypedValues) {
  MakeNumbers("q_prep", 5);
  TTessel* query = NewQuery("SELECT id, name FROM q_prep WHERE id >= :low AND name <> :skip");
  query->ParamByName("low")->SetAsInteger(3);
  query->ParamByName("skip")->SetAsString("name4");
  query->SetCacheAllRecords(true);
  query->Prepare();
  ASSERT_TRUE(query->Prepared());
  const std::string name = query->ProcName();
  // The temporary procedure lives on the connection it was made on.
  EXPECT_EQ(Rows(server->GetBaseProcess(), "EXEC " + name + " 4, 'none'"),
            (std::vector<std::string>{"4", "5"}));
  query->Open();
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"3", "5"}));
  query->Close();
  EXPECT_FALSE(query->Prepared()) << "closing gives the procedure up";
  EXPECT_THROW(Rows(server->GetBaseProcess(), "EXEC " + name + " 4, 'none'"), ElqSQLError);
}

TEST_F(PrepareTest, RollBackUnpreparesQueriesOnTheBaseConnection) {
  MakeNumbers("q_rollback", 2);
  TTessel* query = NewQuery("UPDATE q_rollback SET name = :n WHERE id = :id");
  query->ParamByName("n")->SetAsString("z");
  query->ParamByName("id")->SetAsInteger(2);
  server->StartTransaction();
  query->Prepare();
  query->ExecSQL();
  ASSERT_TRUE(query->Prepared());
  server->RollBack();
  EXPECT_FALSE(query->Prepared());
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM q_rollback WHERE id = 2"),
            (std::vector<std::string>{"name2"}));
}

// A null flag stays null: sent as false, it would store a value nobody gave.
TEST_F(PrepareTest, NullBitAndNullIntegerAreSentAsNull) {
  TTessel* query = NewQuery("SELECT :flag AS flag, :number AS number");
  query->ParamByName("flag")->SetDataType(ftBoolean);
  query->ParamByName("number")->SetDataType(ftInteger);
  query->SetCacheAllRecords(true);
  query->Prepare();
  query->Open();
  EXPECT_TRUE(query->FieldByName("flag")->IsNull());
  EXPECT_TRUE(query->FieldByName("number")->IsNull());
}

TEST_F(PrepareTest, NamesDifferingInCaseAreDeclaredAndPassedOnce) {
  TTessel* query = NewQuery("SELECT :X + :x AS twice");
  ASSERT_EQ(query->Params()->Count(), 2);
  query->Params()->Items(0)->SetAsInteger(21);
  query->Params()->Items(1)->SetAsInteger(1000);
  query->SetCacheAllRecords(true);
  query->Prepare();
  query->Open();
  EXPECT_EQ(query->FieldByName("twice")->AsInteger(), 42);
}

TEST_F(PrepareTest, UndefinedTypeIsRefusedAndNothingIsPrepared) {
  TTessel* query = NewQuery("SELECT :A AS a");
  try {
    query->Prepare();
    FAIL() << "prepared a parameter of no type";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'A' is of undefined type.");
  }
  EXPECT_FALSE(query->Prepared());
  // The half-built command does not leak into the next statement.
  query->ParamByName("A")->SetAsInteger(5);
  query->Prepare();
  query->ExecProc();
  EXPECT_TRUE(query->Prepared());
}

// Dates travel as their exact text, which the server converts where the
// value is used.
TEST_F(PrepareTest, DatesTravelAsExactText) {
  TTessel* query = NewQuery("SELECT CAST(:D AS date) AS d");
  query->ParamByName("D")->SetAsDate(EncodeDate(2024, 2, 29));
  query->SetCacheAllRecords(true);
  query->Prepare();
  EXPECT_TRUE(query->Prepared());
  query->Open();
  EXPECT_EQ(query->FieldByName("d")->AsString(), "2024-02-29");
}

TEST_F(PrepareTest, ExecSQLOfAnUpdateWithAMemoRunsThroughAProcedure) {
  MakeTable("q_memo", "id int NOT NULL, body text NULL", {"(1, 'old')"});
  TTessel* query = NewQuery("UPDATE q_memo SET body = :body WHERE id = :id");
  query->ParamByName("body")->SetAsMemo("it's new");
  query->ParamByName("id")->SetAsInteger(1);
  query->InternalExecSQL(qtSQLUpdate);
  EXPECT_TRUE(query->Prepared());
  EXPECT_EQ(query->RowsAffected(), 1);
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT body FROM q_memo"),
            (std::vector<std::string>{"it's new"}));
}

TEST_F(PrepareTest, CommitUnpreparesQueriesOnTheBaseConnection) {
  MakeNumbers("q_commit", 2);
  TTessel* query = NewQuery("UPDATE q_commit SET name = :n WHERE id = :id");
  query->ParamByName("n")->SetAsString("z");
  query->ParamByName("id")->SetAsInteger(2);
  server->StartTransaction();
  query->Prepare();
  query->ExecSQL();
  ASSERT_TRUE(query->Prepared());
  server->Commit();
  EXPECT_FALSE(query->Prepared());
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM q_commit WHERE id = 2"),
            (std::vector<std::string>{"z"}));
}

}  // namespace
}  // namespace tessel::testing
