// Running statements: opening, batches with several results, collected
// errors, connections and their replacement, and the connection component's
// side of the contract.

#include <filesystem>
#include <string>

#include "framework/exceptions.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class ExecutionTest : public QueryTest {};

TEST_F(ExecutionTest, OpenBrowsesForwardsAndBackwards) {
  MakeNumbers("q_browse", 5);
  TTessel* query = NewQuery("SELECT id, name FROM q_browse WHERE id > :low ORDER BY id");
  query->ParamByName("low")->SetAsInteger(1);
  query->Open();
  EXPECT_EQ(Column(*query, "name"), (std::vector<std::string>{"name2", "name3", "name4", "name5"}));
  std::vector<int> backwards;
  for (query->Last(); !query->Bof(); query->Prior()) {
    backwards.push_back(query->FieldByName("id")->AsInteger());
  }
  EXPECT_EQ(backwards, (std::vector<int>{5, 4, 3, 2}));
  query->Close();
  // Reopening runs the statement again with the values as they are now.
  query->ParamByName("low")->SetAsInteger(4);
  query->Open();
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"5"}));
}

TEST_F(ExecutionTest, UpdateBeforeSelectAddsItsCountAndOpensOnTheRows) {
  MakeNumbers("q_batch", 3);
  TTessel* query = NewQuery(
      "UPDATE q_batch SET name = name WHERE id <= 3\r\nSELECT id FROM q_batch ORDER BY id");
  query->Open();
  EXPECT_EQ(query->RowsAffected(), 3);
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(ExecutionTest, LaterFailuresOfABatchAreRaisedTogether) {
  MakeNumbers("q_fail", 2);
  TTessel* query = NewQuery(
      "UPDATE q_fail SET name = 'x' WHERE id = 1\n"
      "INSERT INTO q_fail VALUES (1, 'again')\n"
      "INSERT INTO q_fail VALUES (2, 'again')");
  try {
    query->ExecSQL();
    FAIL() << "the failing statements were not reported";
  } catch (const ElqSQLError& e) {
    const std::string& text = e.ErrorMessage();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], '\r') << text;
    const auto second = text.find('\r', 1);
    ASSERT_NE(second, std::string::npos) << "one message per failed statement: " << text;
    EXPECT_EQ(text.find('\r', second + 1), std::string::npos) << text;
    EXPECT_NE(e.ErrorCode(), 0);
  }
  // The batch ran to its end: the first statement's change stays.
  TTessel* check = NewQuery("SELECT name FROM q_fail WHERE id = 1");
  check->Open();
  EXPECT_EQ(check->FieldByName("name")->AsString(), "x");
}

TEST_F(ExecutionTest, FailingFirstStatementRaisesTheServerMessageAndStaysClosed) {
  TTessel* query = NewQuery("SELECT * FROM q_no_such_table");
  try {
    query->Open();
    FAIL() << "opened a missing table";
  } catch (const ElqSQLError& e) {
    EXPECT_NE(e.ErrorMessage().find("q_no_such_table"), std::string::npos) << e.ErrorMessage();
  }
  EXPECT_FALSE(query->Active());
  query->SQL()->SetText("SELECT 1 AS one");
  query->Open();
  EXPECT_EQ(query->FieldByName("one")->AsInteger(), 1);
}

TEST_F(ExecutionTest, ExecSQLRunsOnTheBaseConnection) {
  MakeNumbers("q_exec", 2);
  TTessel* query = NewQuery("UPDATE q_exec SET name = :n WHERE id = :id");
  query->ParamByName("n")->SetAsString("it's");
  query->ParamByName("id")->SetAsInteger(2);
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 1);
  EXPECT_EQ(query->DBProcess(), server->GetBaseProcess());
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM q_exec WHERE id = 2"),
            (std::vector<std::string>{"it's"}));
}

TEST_F(ExecutionTest, AStringValueCannotInjectSQL) {
  MakeNumbers("q_inject", 2);
  TTessel* query = NewQuery("SELECT id FROM q_inject WHERE name = :a OR name = :b");
  query->ParamByName("a")->SetAsString("x' OR 'y' = 'y");
  query->ParamByName("b")->SetAsString(":b");
  query->Open();
  EXPECT_TRUE(query->IsEmpty());
}

TEST_F(ExecutionTest, LazyQueryHoldsAPrivateConnectionUntilItsRowsAreRead) {
  MakeNumbers("q_lazy_conn", 3);
  TTessel* query = NewQuery("SELECT id FROM q_lazy_conn ORDER BY id");
  query->Open();
  ASSERT_NE(query->DBProcess(), nullptr);
  EXPECT_NE(query->DBProcess(), server->GetBaseProcess());
  query->Last();
  EXPECT_TRUE(query->AllFetched());
  EXPECT_EQ(query->DBProcess(), nullptr);
}

TEST_F(ExecutionTest, ServerCloseClosesTheQueriesCursors) {
  MakeNumbers("q_srv_close", 3);
  TTessel* query = NewQuery("SELECT id FROM q_srv_close");
  query->Open();
  ASSERT_NE(query->DBProcess(), nullptr);
  server->Close();
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(query->DBProcess(), nullptr);
}

TEST_F(ExecutionTest, ServerDestroyedFirstDetachesItsQueries) {
  TTessel* query = NewQuery("SELECT 1 AS one");
  query->Open();
  server.reset();
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(query->DataBaseName(), nullptr);
}

TEST_F(ExecutionTest, DeadConnectionIsReplacedAndTheQueryUnprepared) {
  MakeNumbers("q_killed", 2);
  TTessel* query = NewQuery("UPDATE q_killed SET name = name WHERE id = :id");
  query->ParamByName("id")->SetAsInteger(1);
  query->Prepare();
  query->ExecSQL();
  ASSERT_TRUE(query->Prepared());
  const std::string spid = Rows(query->DBProcess(), "SELECT @@SPID").at(0);
  PDBPROCESS other = server->GetConnection(nullptr, false);
  dbcmd(other, ("KILL " + spid).c_str());
  const bool killed = dbsqlexec(other) != FAIL && dbresults(other) != FAIL;
  const std::string why = RecordedDBError().LastMsgText;
  server->DropConnection(nullptr, other);
  ASSERT_TRUE(killed) << why;
  // The first use finds the connection dead and reports it; the next
  // execution replaces it.
  PDBPROCESS killed_connection = query->DBProcess();
  EXPECT_THROW(query->ExecSQL(), ElqSQLError);
  EXPECT_TRUE(dbdead(killed_connection));
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 1);
  EXPECT_FALSE(query->Prepared());
}

// Descriptors the process has open: sockets of connections included.
std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST_F(ExecutionTest, ADeadKeptConnectionIsReplacedAndClosed) {
  server->SetKeepConnections(true);
  server->GetBaseProcess();
  const std::size_t before = OpenDescriptors();
  TTessel* query = NewQuery("SELECT @@SPID AS spid");
  query->Open();
  const std::string spid = query->FieldByName("spid")->AsString();
  query->Close();
  ASSERT_NE(query->DBProcess(), nullptr) << "KeepConnections keeps the query's connection";
  ASSERT_NE(query->DBProcess(), server->GetBaseProcess());
  server->InternalExecute("KILL " + spid);
  EXPECT_THROW(query->Open(), ElqSQLError);
  // The next open replaces the dead connection, and closes it.
  query->Open();
  EXPECT_NE(query->FieldByName("spid")->AsString(), spid);
  server->SetKeepConnections(false);
  query->Close();
  EXPECT_EQ(query->DBProcess(), nullptr);
  EXPECT_EQ(OpenDescriptors(), before) << "a connection was left open";
}

}  // namespace
}  // namespace tessel::testing
