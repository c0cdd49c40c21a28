// Asynchronous open and execute that run to their end: completion, failure
// and refusal, and how the application hears of each.

#include <stdexcept>

#include "async_fixture.h"
#include "framework/exceptions.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class AsyncOpenTest : public AsyncTest {};

TEST_F(AsyncOpenTest, OpenCompletesInTheWorkerAndReportsReadyInTheMainThread) {
  MakeNumbers("a_open", 40);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id, name FROM a_open ORDER BY id", events);
  query->AsyncOpen();
  EXPECT_TRUE(query->FThreadActive);
  EXPECT_TRUE(query->ControlsDisabled());
  // A second start while the first runs is ignored: one end only.
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() > 0; }));
  PumpFor(50);
  EXPECT_EQ(events.Ready, 1);
  EXPECT_TRUE(events.Messages.empty());
  EXPECT_FALSE(events.OffMainThread);
  // The handler still sees the operation running and the controls disabled.
  EXPECT_TRUE(events.ActiveDuringReady);
  EXPECT_TRUE(events.ControlsDisabledDuringReady);
  EXPECT_EQ(events.OutcomeSeen, aoCompleted);
  EXPECT_FALSE(query->FThreadActive);
  EXPECT_FALSE(query->ControlsDisabled());
  ASSERT_TRUE(query->Active());
  EXPECT_EQ(Column(*query, "id").size(), 40u);
  // Open already: nothing starts.
  query->AsyncOpen();
  EXPECT_FALSE(query->FThreadActive);
  // After a close it starts again.
  query->AsyncClose();
  EXPECT_FALSE(query->Active());
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ready == 2; }));
  EXPECT_TRUE(query->Active());
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions + 1));  // the open result's own connection
  query->AsyncClose();
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncOpenTest, ExecRunsOnAConnectionOfItsOwnAndGivesItBackClean) {
  MakeNumbers("a_exec", 3);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("UPDATE a_exec SET name = 'changed' WHERE id >= 2", events);
  // A connection held from an earlier statement (the base one here) is not
  // taken into the worker.
  query->ExecSQL();
  query->AsyncExec();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() > 0; }));
  EXPECT_EQ(events.Ready, 1);
  EXPECT_EQ(events.OutcomeSeen, aoCompleted);
  EXPECT_EQ(query->RowsAffected(), 2);
  EXPECT_EQ(query->DBProcess(), nullptr);
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT COUNT(*) FROM a_exec WHERE name = 'changed'"),
            (std::vector<std::string>{"2"}));
  // A SELECT run for its effect leaves rows pending: they are cancelled, and
  // with KeepConnections the connection is kept ready for the next statement.
  server->SetKeepConnections(true);
  query->SQL()->SetText("SELECT id FROM a_exec");
  query->AsyncExec();
  ASSERT_TRUE(PumpUntil([&] { return events.Ready == 2; }));
  ASSERT_NE(query->DBProcess(), nullptr);
  EXPECT_NE(query->DBProcess(), server->GetBaseProcess());
  EXPECT_EQ(Rows(query->DBProcess(), "SELECT 7"), (std::vector<std::string>{"7"}));
  server->SetKeepConnections(false);
  query->Disconnect();
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncOpenTest, FailuresReachThreadMsgWithClassAndMessage) {
  std::string server_text;
  try {
    server->InternalExecute("SELECT * FROM a_no_such_table");
  } catch (const ElqSQLError& e) {
    server_text = e.Message();
  }
  ASSERT_FALSE(server_text.empty());
  // One period at the end, whether or not the server's text has its own.
  const std::string expected =
      "ElqSQLError: " + server_text + (server_text.back() == '.' ? "" : ".");
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT * FROM a_no_such_table", events);
  query->AsyncExec();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() > 0; }));
  ASSERT_EQ(events.Messages.size(), 1u);
  EXPECT_EQ(events.Messages[0], expected);
  EXPECT_EQ(events.Ready, 0);
  EXPECT_EQ(events.OutcomeSeen, aoFailed);
  EXPECT_FALSE(query->FThreadActive);
  EXPECT_FALSE(query->ControlsDisabled());
  EXPECT_EQ(query->DBProcess(), nullptr);

  // A failed open leaves the query closed; the next operation starts.
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() == 2; }));
  EXPECT_EQ(events.Messages.back(), expected);
  EXPECT_FALSE(query->Active());

  query->SQL()->SetText("  \r\n ");
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() == 3; }));
  EXPECT_EQ(events.Messages.back(), "EDatabaseError: No statement in query.");
  EXPECT_FALSE(events.OffMainThread);
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncOpenTest, EveryFailureEndsTheOperationWhateverItsKind) {
  MakeNumbers("a_kinds", 2);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id FROM a_kinds", events);
  // A handler of the open, run in the worker, failing with a standard
  // exception: still reported, and nobody waits for ever.
  query->BeforeOpen = [](TDataSet*) { throw std::runtime_error("boom"); };
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() > 0; }));
  ASSERT_EQ(events.Messages.size(), 1u);
  EXPECT_EQ(events.Messages[0], "runtime_error: boom.");
  EXPECT_FALSE(query->FThreadActive);
  query->BeforeOpen = nullptr;

  // A ready handler that raises turns the end into a failure.
  query->OnThreadReady = [](TObject*) { DatabaseError("refused by handler"); };
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() == 2; }));
  EXPECT_EQ(events.Messages.back(), "EDatabaseError: refused by handler.");
  EXPECT_FALSE(query->FThreadActive);
  EXPECT_FALSE(query->ControlsDisabled());
  query->AsyncClose();
}

TEST_F(AsyncOpenTest, CacheAllRecordsIsRefusedInTheCaller) {
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT 1", events);
  query->SetCacheAllRecords(true);
  try {
    query->AsyncOpen();
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), SAsyncOpenError.str());
  }
  EXPECT_THROW(query->AsyncExec(), EDatabaseError);
  EXPECT_FALSE(query->FThreadActive);
  EXPECT_FALSE(query->ControlsDisabled());
  PumpFor(30);
  EXPECT_EQ(events.Ends(), 0);
}

}  // namespace
}  // namespace tessel::testing
