// Connections lent to queries: a replaced base connection closed once and only
// by its last holder, statements that stay inside the transaction they were
// sent in, the base connection never left with rows pending, and the error
// handlers shared by every open server.

#include <filesystem>
#include <string>
#include <vector>

#include "query_fixture.h"

namespace tessel::testing {
namespace {

class ConnectionSharingTest : public QueryTest {};

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// --- a replaced base connection held by several queries -------------------

TEST_F(ConnectionSharingTest, BaseForgottenAfterCommitIsClosedOnceByItsLastHolder) {
  server->Close();
  const std::size_t before = OpenDescriptors();
  server->Open();
  MakeNumbers("e_commit_two", 2);
  TTessel* first = NewQuery("UPDATE e_commit_two SET name = 'a' WHERE id = 1");
  TTessel* second = NewQuery("UPDATE e_commit_two SET name = 'b' WHERE id = 2");
  server->StartTransaction();
  first->ExecSQL();
  second->ExecSQL();
  ASSERT_EQ(first->DBProcess(), second->DBProcess());
  server->Commit();
  // Both queries still hold the forgotten connection; closing the server
  // gives it back twice and must close it once.
  server->Close();
  EXPECT_EQ(first->DBProcess(), nullptr);
  EXPECT_EQ(second->DBProcess(), nullptr);
  EXPECT_EQ(OpenDescriptors(), before) << "a connection was left open";
}

TEST_F(ConnectionSharingTest, DeadBaseHeldByTwoQueriesIsClosedOnce) {
  MakeNumbers("e_dead_two", 2);
  TTessel* first = NewQuery("UPDATE e_dead_two SET name = 'a' WHERE id = 1");
  TTessel* second = NewQuery("UPDATE e_dead_two SET name = 'b' WHERE id = 2");
  first->ExecSQL();
  second->ExecSQL();
  PDBPROCESS base = server->GetBaseProcess();
  ASSERT_EQ(first->DBProcess(), base);
  const std::string spid = Rows(base, "SELECT @@SPID").at(0);
  PDBPROCESS other = server->GetConnection(nullptr, false);
  dbcmd(other, ("KILL " + spid).c_str());
  const bool killed = dbsqlexec(other) != FAIL && dbresults(other) != FAIL;
  server->DropConnection(nullptr, other);
  if (!killed) GTEST_SKIP() << "the server cannot KILL a session";
  // The next use of the base connection replaces the dead one, which both
  // queries still hold.
  try {
    server->InternalExecute("SELECT 1");
  } catch (const ElqSQLError&) {
    // The first use may be the one that finds the connection dead.
  }
  server->InternalExecute("SELECT 1");
  ASSERT_NE(server->GetBaseProcess(), base);
  first->ExecSQL();
  EXPECT_EQ(first->RowsAffected(), 1);
  server->Close();
  EXPECT_EQ(second->DBProcess(), nullptr);
}

// --- statements stay in the transaction they are sent in -------------------

TEST_F(ConnectionSharingTest, StatementAfterCommitJoinsTheNextTransaction) {
  MakeNumbers("e_escape", 0);
  TTessel* insert = NewQuery("INSERT INTO e_escape VALUES (:id, 'x')");
  server->StartTransaction();
  insert->ParamByName("id")->SetAsInteger(1);
  insert->ExecSQL();
  server->Commit();
  server->StartTransaction();
  insert->ParamByName("id")->SetAsInteger(2);
  insert->ExecSQL();
  EXPECT_EQ(insert->DBProcess(), server->GetBaseProcess());
  server->RollBack();
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT id FROM e_escape ORDER BY id"),
            (std::vector<std::string>{"1"}));
}

TEST_F(ConnectionSharingTest, ProcedurePreparedAfterCommitJoinsTheNextTransaction) {
  MakeNumbers("e_escape_proc", 0);
  TTessel* insert = NewQuery("INSERT INTO e_escape_proc VALUES (:id, 'x')");
  insert->ParamByName("id")->SetAsInteger(1);
  server->StartTransaction();
  insert->ExecSQL();
  server->Commit();
  server->StartTransaction();
  insert->Prepare();
  insert->ParamByName("id")->SetAsInteger(2);
  insert->ExecSQL();
  server->RollBack();
  EXPECT_TRUE(Rows(server->GetBaseProcess(), "SELECT id FROM e_escape_proc WHERE id = 2").empty())
      << "the prepared insert ran outside the transaction";
}

TEST_F(ConnectionSharingTest, KeptPrivateConnectionDoesNotTakeStatementsOutOfATransaction) {
  server->SetKeepConnections(true);
  MakeNumbers("e_kept", 2);
  TTessel* query = NewQuery("SELECT id FROM e_kept");
  query->Open();
  query->Last();
  query->Close();
  ASSERT_NE(query->DBProcess(), nullptr) << "KeepConnections keeps the query's connection";
  ASSERT_NE(query->DBProcess(), server->GetBaseProcess());
  server->StartTransaction();
  query->SQL()->SetText("DELETE FROM e_kept");
  query->ExecSQL();
  server->RollBack();
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT COUNT(*) FROM e_kept"),
            (std::vector<std::string>{"2"}));
}

// --- the base connection is never left with results pending ----------------

TEST_F(ConnectionSharingTest, PrepareBeforeALazyOpenMovesTheResultOffTheBaseConnection) {
  MakeNumbers("e_lazy_prep", 5);
  TTessel* lazy = NewQuery("SELECT id FROM e_lazy_prep WHERE id > :low ORDER BY id");
  lazy->ParamByName("low")->SetAsInteger(1);
  lazy->Prepare();
  lazy->Open();
  EXPECT_NE(lazy->DBProcess(), server->GetBaseProcess());
  EXPECT_TRUE(lazy->Prepared()) << "the statement is prepared on its own connection";
  // Others use the base connection while the lazy query's rows are unread.
  TTessel* update = NewQuery("UPDATE e_lazy_prep SET name = 'u' WHERE id = 1");
  update->ExecSQL();
  EXPECT_EQ(update->RowsAffected(), 1);
  EXPECT_EQ(Column(*lazy, "id"), (std::vector<std::string>{"2", "3", "4", "5"}));
}

TEST_F(ConnectionSharingTest, ExecSQLOfRowsReadsTheWholeBatch) {
  MakeNumbers("e_exec_rows", 3);
  TTessel* select = NewQuery(
      "SELECT id FROM e_exec_rows\n"
      "UPDATE e_exec_rows SET name = 'after' WHERE id = 3");
  select->ExecSQL();
  EXPECT_EQ(select->DBProcess(), server->GetBaseProcess());
  // The statement after the rows ran, and the base connection is free.
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM e_exec_rows WHERE id = 3"),
            (std::vector<std::string>{"after"}));
  TTessel* other = NewQuery("UPDATE e_exec_rows SET name = 'x' WHERE id < 3");
  other->ExecSQL();
  EXPECT_EQ(other->RowsAffected(), 2);
}

TEST_F(ConnectionSharingTest, ExecSQLReportsAFailureAfterRows) {
  MakeNumbers("e_exec_fail", 1);
  TTessel* batch = NewQuery(
      "SELECT id FROM e_exec_fail\n"
      "INSERT INTO e_exec_fail VALUES (1, 'again')");
  EXPECT_THROW(batch->ExecSQL(), ElqSQLError);
  server->InternalExecute("SELECT 1");
}

TEST_F(ConnectionSharingTest, ExecProcLeavesNothingPendingAndUnprepareDrops) {
  MakeNumbers("e_proc", 3);
  TTessel* proc = NewQuery("SELECT id FROM e_proc WHERE id >= :low");
  proc->ParamByName("low")->SetAsInteger(2);
  proc->ExecProc();
  ASSERT_TRUE(proc->Prepared());
  const std::string name = proc->ProcName();
  TTessel* other = NewQuery("UPDATE e_proc SET name = 'x' WHERE id = 1");
  other->ExecSQL();
  EXPECT_EQ(other->RowsAffected(), 1);
  EXPECT_EQ(Rows(server->GetBaseProcess(), "EXEC " + name + " 3"), (std::vector<std::string>{"3"}));
  proc->Unprepare();
  EXPECT_THROW(Rows(server->GetBaseProcess(), "EXEC " + name + " 3"), ElqSQLError)
      << "the procedure was not dropped";
}

// --- the error handlers while several servers are open ---------------------

int ForeignErrHandler(PDBPROCESS, int, int, int, const char*, const char*) {
  return INT_CANCEL;
}

TEST_F(ConnectionSharingTest, HandlersStayWhileAnyServerIsOpen) {
  server->Close();
  DBERRHANDLE_PROC found = dberrhandle(ForeignErrHandler);
  auto first = NewSQLServer(*address);
  first->Open();
  server->Open();
  first->Close();
  TTessel* query = NewQuery("SELECT * FROM e_no_such_table");
  try {
    query->Open();
    FAIL() << "a missing table opened";
  } catch (const ElqSQLError& e) {
    EXPECT_GT(e.ErrorCode(), 0);
    EXPECT_NE(e.ErrorMessage().find("e_no_such_table"), std::string::npos) << e.ErrorMessage();
  }
  server->Close();
  // The last server to close puts back what was there before the first opened.
  EXPECT_EQ(dberrhandle(found), &ForeignErrHandler);
}

}  // namespace
}  // namespace tessel::testing
