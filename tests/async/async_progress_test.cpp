// Progress of rows read into the record cache, for an ordinary open and for
// an asynchronous full read.

#include "async_fixture.h"

namespace tessel::testing {
namespace {

class AsyncProgressTest : public AsyncTest {};

// Counts rise, at most 1,000 apart, never beyond what is cached.
void ExpectSteps(const std::vector<int>& progress, int total) {
  int last = 0;
  for (int rows : progress) {
    EXPECT_GT(rows, last);
    EXPECT_LE(rows - last, 1000) << "rows between reports";
    EXPECT_LE(rows, total);
    last = rows;
  }
}

TEST_F(AsyncProgressTest, OrdinaryOpenReportsWhileTheCacheFills) {
  MakeManyNumbers("a_fill", 4500);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id, name FROM a_fill ORDER BY id", events);
  query->SetCacheAllRecords(true);
  query->Open();
  EXPECT_GE(events.Progress.size(), 4u);
  ExpectSteps(events.Progress, 4500);
  EXPECT_FALSE(events.OffMainThread);
  // A second open counts from the start again.
  query->Close();
  events.Progress.clear();
  query->Open();
  ASSERT_FALSE(events.Progress.empty());
  ExpectSteps(events.Progress, 4500);
  // Without a handler nothing is reported, and the rows are all there.
  query->Close();
  query->OnFetchProgress = nullptr;
  query->Open();
  EXPECT_EQ(query->RecordCount(), 4500);
}

TEST_F(AsyncProgressTest, AsyncFullReadReportsInTheMainThreadAndEndsWithTheTotal) {
  MakeManyNumbers("a_async_fill", 4500);
  AsyncEvents events;
  TTessel* query = NewAsyncQuery("SELECT id, name FROM a_async_fill ORDER BY id", events);
  query->SetAsyncFetchAll(true);
  int seen_in_handler = -1;
  query->OnFetchProgress = [&](TObject*, int rows) {
    events.Progress.push_back(rows);
    // The worker waits while the handler looks at the query.
    seen_in_handler = query->RecordCache().Count();
    EXPECT_EQ(seen_in_handler, rows);
  };
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() > 0; }));
  EXPECT_EQ(events.Ready, 1);
  ASSERT_FALSE(events.Progress.empty());
  EXPECT_EQ(events.Progress.back(), 4500);
  ExpectSteps(events.Progress, 4500);
  EXPECT_EQ(query->RecordCount(), 4500);
  EXPECT_TRUE(query->AllFetched());
  // Every row was read: the connection went back at the end.
  EXPECT_EQ(query->DBProcess(), nullptr);
  EXPECT_EQ(Column(*query, "id").back(), "4500");

  // The CacheMaxRecords limit holds for the full read too.
  query->AsyncClose();
  query->SetCacheMaxRecords(1200);
  events.Progress.clear();
  query->AsyncOpen();
  ASSERT_TRUE(PumpUntil([&] { return events.Ends() == 2; }));
  EXPECT_EQ(query->RecordCount(), 1200);
  EXPECT_EQ(query->DBProcess(), nullptr);
  query->AsyncClose();
  EXPECT_TRUE(SessionsSettleAt(baseline_sessions));
}

}  // namespace
}  // namespace tessel::testing
