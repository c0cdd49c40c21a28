// Stopping asynchronous work: AsyncClose and destruction at every stage of
// an operation, the server's side of a cancel, and many cycles at random
// moments.

#include <atomic>
#include <memory>
#include <random>

#include "async_fixture.h"
#include "framework/sysutils.h"
#include "framework/thread.h"

namespace tessel::testing {
namespace {

class AsyncCancelTest : public AsyncTest {};

TEST_F(AsyncCancelTest, CloseDuringALongStatementStopsItOnTheServer) {
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one", events);
  query->AsyncOpen();
  PumpFor(150);  // the batch is pending on the server now
  ASSERT_EQ(events.Ends(), 0);
  query->AsyncClose();
  // Returned (a ten-minute wait would time the test out), closed, told.
  EXPECT_FALSE(query->Active());
  EXPECT_FALSE(query->FThreadActive);
  EXPECT_FALSE(query->ControlsDisabled());
  EXPECT_EQ(events.Ready, 1);
  EXPECT_TRUE(events.Messages.empty());
  EXPECT_EQ(query->AsyncOutcome(), aoCancelled);
  EXPECT_EQ(query->DBProcess(), nullptr);
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));

  // The statement really ended on the server: what would follow the wait
  // never runs.
  MakeTable("a_marker", "id int", {});
  query->SQL()->SetText("WAITFOR DELAY '00:00:02'\nINSERT INTO a_marker VALUES (1)");
  query->AsyncExec();
  PumpFor(500);
  query->AsyncClose();
  EXPECT_EQ(query->AsyncOutcome(), aoCancelled);
  PumpFor(2500);
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT COUNT(*) FROM a_marker"),
            (std::vector<std::string>{"0"}));
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncCancelTest, CloseLeavesTheQueryClosedAtEveryStage) {
  MakeManyNumbers("a_stages", 3000);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id, name FROM a_stages ORDER BY id", events);
  query->SetAsyncFetchAll(true);
  // Before the worker got anywhere.
  query->AsyncOpen();
  query->AsyncClose();
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(events.Ends(), 1);
  // While the first rows are read: every progress report closes it.
  query->OnFetchProgress = [query](TObject*, int) { query->AsyncClose(); };
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return !query->FThreadActive; }));
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(events.Ends(), 2);
  query->OnFetchProgress = nullptr;
  // After completion, before the ready notification was delivered: the
  // main thread does not deliver until the worker has queued it.
  std::atomic<bool> queued{false};
  SetWakeMainThread([&queued] { queued = true; });
  PumpFor(200);  // the earlier worker's own end wakes the main thread too
  queued = false;
  query->SetAsyncFetchAll(false);
  query->AsyncOpen();
  while (!queued) Sleep(5);
  SetWakeMainThread(nullptr);
  query->AsyncClose();
  EXPECT_EQ(events.Ready, 3);
  EXPECT_EQ(events.OutcomeSeen, aoCompleted);
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(query->RecordCache().Count(), 0);
  // After the ready notification.
  query->SetAsyncFetchAll(true);
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() == 4; }));
  EXPECT_EQ(query->RecordCount(), 3000);
  query->AsyncClose();
  EXPECT_FALSE(query->Active());
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncCancelTest, PlainCloseAndDestructionWaitForTheWorker) {
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one", events);
  query->AsyncOpen();
  PumpFor(100);
  query->AsyncExec();  // ignored: one runs
  {
    auto doomed = std::make_unique<TTessel>(nullptr);
    doomed->SetSQLServer(server.get());
    doomed->SQL()->SetText("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one");
    int told = 0;
    doomed->OnThreadReady = [&told](TObject*) { ++told; };
    doomed->AsyncOpen();
    PumpFor(100);
    doomed.reset();  // returns once the worker let go; nobody is told
    EXPECT_EQ(told, 0);
  }
  // A plain close stops the worker too, though the dataset is not open yet.
  query->Close();
  EXPECT_EQ(events.Ready, 1);
  EXPECT_EQ(query->AsyncOutcome(), aoCancelled);
  EXPECT_FALSE(query->Active());
  EXPECT_FALSE(query->FThreadActive);
  // Destroyed while its worker is already past the statement.
  {
    MakeNumbers("a_doomed", 50);
    auto doomed = std::make_unique<TTessel>(nullptr);
    doomed->SetSQLServer(server.get());
    doomed->SQL()->SetText("SELECT id FROM a_doomed");
    doomed->AsyncOpen();
    Sleep(200);
    doomed.reset();
  }
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

TEST_F(AsyncCancelTest, ManyCyclesAtRandomMomentsLeaveNothingBehind) {
  MakeManyNumbers("a_cycles", 2000);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id, name FROM a_cycles ORDER BY id", events);
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> delay(0, 40);
  std::uniform_int_distribution<int> kind(0, 3);
  for (int cycle = 0; cycle < 200; ++cycle) {
    switch (kind(random)) {
      case 0:
        query->SQL()->SetText("WAITFOR DELAY '00:00:05'\nSELECT 1 AS one");
        break;
      case 1:
        query->SQL()->SetText("SELECT id, name FROM a_cycles ORDER BY id");
        break;
      case 2:
        query->SQL()->SetText("SELECT * FROM a_missing_table");
        break;
      default:
        query->SQL()->SetText("SELECT id, name FROM a_cycles ORDER BY id");
        query->SetAsyncFetchAll(cycle % 2 == 0);
        break;
    }
    if (cycle % 5 == 0) {
      query->AsyncExec();
    } else {
      query->AsyncOpen();
    }
    const int wait = delay(random);
    if (cycle % 3 == 0) {
      Sleep(static_cast<unsigned>(wait));  // the main thread not delivering meanwhile
    } else {
      PumpFor(wait);
    }
    if (cycle % 4 == 1) {
      query->Close();
    } else {
      query->AsyncClose();
    }
    ASSERT_FALSE(query->Active()) << "cycle " << cycle;
    ASSERT_FALSE(query->FThreadActive) << "cycle " << cycle;
    ASSERT_EQ(events.Ends(), cycle + 1) << "cycle " << cycle;
    ASSERT_EQ(query->DBProcess(), nullptr) << "cycle " << cycle;
  }
  EXPECT_FALSE(events.OffMainThread);
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

}  // namespace
}  // namespace tessel::testing
