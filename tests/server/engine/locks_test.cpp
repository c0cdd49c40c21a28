// Sessions of one engine writing at the same time: explicit transactions
// wait for each other's write locks as SET LOCK_TIMEOUT says (no 1222 before
// the time-out, no lost update), a cycle of waits gets one 1205 victim; and
// what a login that is a database user may and may not do.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "recording_sink.h"
#include "sqld/engine.h"

namespace tessel::sqld::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

RecordingSink run(Session& s, std::string_view sql) {
  RecordingSink sink;
  CancelFlag cancel;
  s.executeBatch(sql, sink, cancel);
  return sink;
}

std::int64_t scalar(Session& s, std::string_view sql) {
  auto r = run(s, sql);
  EXPECT_TRUE(r.errors().empty()) << sql << ": " << r.errors()[0].text;
  if (r.results.empty() || r.results[0].rows.empty()) return -1;
  return std::get<std::int64_t>(r.results[0].rows[0][0].data());
}

std::vector<std::int32_t> numbers(const RecordingSink& r) {
  std::vector<std::int32_t> out;
  for (const Message& m : r.errors()) out.push_back(m.number);
  return out;
}

class LocksTest : public ::testing::Test {
 protected:
  LocksTest() {
    auto s = open();
    run(*s,
        "CREATE DATABASE d2 CREATE TABLE acct (id int PRIMARY KEY, bal int NOT NULL) "
        "INSERT acct VALUES (1, 0) INSERT acct VALUES (2, 0) INSERT acct VALUES (3, 0) "
        "CREATE TABLE d2..acct (id int PRIMARY KEY, bal int NOT NULL) "
        "INSERT d2..acct VALUES (1, 0)");
  }

  std::unique_ptr<Session> open(const std::string& user = "sa", std::int32_t spid = 0,
                                const std::string& database = {}) {
    LoginInfo login;
    login.user = user;
    login.database = database;
    login.spid = spid ? spid : nextSpid_++;
    Message error;
    auto s = engine_->openSession(login, error);
    last_ = error;
    return s;
  }

  std::unique_ptr<Engine> engine_ = [] {
    EngineOptions options;
    options.databaseUsers["anna"] = {"tessel"};
    return createSqliteEngine(options);
  }();
  std::int32_t nextSpid_ = 51;
  Message last_;
};

// A holds a write lock in an open transaction; B's transaction, however it
// starts, waits for it under LOCK_TIMEOUT -1 and goes on once A commits, or
// gets 1222 only when its own time-out has passed.
TEST_F(LocksTest, ExplicitTransactionsWaitForEachOtherAsLockTimeoutSays) {
  struct Case {
    const char* name;
    const char* batch;  // run by B while A holds row 1 of acct
    int waitedAtLeastMs;
    std::vector<std::int32_t> errors;
  };
  const std::vector<Case> cases = {
      {"same row",
       "SET LOCK_TIMEOUT -1 BEGIN TRAN UPDATE acct SET bal = bal + 1 WHERE id = 1",
       250,
       {}},
      {"other row",
       "SET LOCK_TIMEOUT -1 BEGIN TRAN UPDATE acct SET bal = bal + 1 WHERE id = 2",
       250,
       {}},
      {"read first",
       "SET LOCK_TIMEOUT -1 BEGIN TRAN SELECT count(*) FROM acct "
       "UPDATE acct SET bal = bal + 1 WHERE id = 3",
       250,
       {}},
      {"time-out",
       "SET LOCK_TIMEOUT 150 BEGIN TRAN UPDATE acct SET bal = bal + 1 WHERE id = 2",
       120,
       {1222}},
      {"session's own time-out, -1 as it starts",
       "IF @@LOCK_TIMEOUT <> -1 RAISERROR('starts at another time-out', 16, 1) "
       "BEGIN TRAN UPDATE acct SET bal = bal + 1 WHERE id = 2",
       250,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto a = open();
    auto b = open();
    ASSERT_TRUE(run(*a, "BEGIN TRAN UPDATE acct SET bal = bal + 1 WHERE id = 1").errors().empty());
    std::thread committer([&] {
      std::this_thread::sleep_for(milliseconds(300));
      run(*a, "COMMIT");
    });
    const auto start = Clock::now();
    auto r = run(*b, c.batch);
    const auto waited = Clock::now() - start;
    committer.join();
    EXPECT_EQ(numbers(r), c.errors);
    EXPECT_GE(waited, milliseconds(c.waitedAtLeastMs));
    run(*b, "IF @@TRANCOUNT > 0 COMMIT");
  }
  // Each committed update is there: 5 by A, 4 by B.
  auto s = open();
  EXPECT_EQ(scalar(*s, "SELECT sum(bal) FROM acct"), 9);
}

// Readers do not wait for a writer and never see its uncommitted rows, not
// even when they ask to read uncommitted data: they read the latest commit.
TEST_F(LocksTest, ReadersReadTheLatestCommitWithoutWaiting) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(run(*a, "BEGIN TRAN UPDATE acct SET bal = 99 WHERE id = 1").errors().empty());
  for (const char* read :
       {"SELECT bal FROM acct WHERE id = 1", "SELECT bal FROM acct WITH (NOLOCK) WHERE id = 1",
        "SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED SELECT bal FROM acct WHERE id = 1"}) {
    SCOPED_TRACE(read);
    const auto start = Clock::now();
    EXPECT_EQ(scalar(*b, read), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  }
  run(*a, "ROLLBACK");
}

TEST_F(LocksTest, CancelEndsAWaitForALock) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(run(*a, "BEGIN TRAN UPDATE acct SET bal = 1 WHERE id = 1").errors().empty());
  RecordingSink sink;
  CancelFlag cancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(milliseconds(200));
    cancel.request();
  });
  const auto start = Clock::now();
  b->executeBatch("SET LOCK_TIMEOUT -1 UPDATE acct SET bal = 2 WHERE id = 1", sink, cancel);
  const auto took = Clock::now() - start;
  canceller.join();
  EXPECT_GE(took, milliseconds(150));
  EXPECT_LT(took, std::chrono::seconds(5));
  run(*a, "COMMIT");
  EXPECT_EQ(scalar(*b, "SELECT bal FROM acct WHERE id = 1"), 1);
}

TEST_F(LocksTest, CycleOfWaitsHasOneDeadlockVictim) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(run(*a, "BEGIN TRAN UPDATE acct SET bal = 10 WHERE id = 1").errors().empty());
  ASSERT_TRUE(run(*b, "BEGIN TRAN UPDATE d2..acct SET bal = 20 WHERE id = 1").errors().empty());
  RecordingSink first;
  std::thread waiter([&] { first = run(*a, "UPDATE d2..acct SET bal = 11 WHERE id = 1"); });
  std::this_thread::sleep_for(milliseconds(200));
  auto second = run(*b, "UPDATE acct SET bal = 21 WHERE id = 1 SELECT @@TRANCOUNT");
  waiter.join();
  // B closed the cycle: it is the victim, its transaction is rolled back and
  // A, waiting for B's lock, goes on.
  ASSERT_EQ(numbers(second), std::vector<std::int32_t>{1205});
  EXPECT_EQ(second.errors()[0].severity, 13);
  EXPECT_TRUE(second.results.empty());
  EXPECT_EQ(scalar(*b, "SELECT @@TRANCOUNT"), 0);
  EXPECT_TRUE(first.errors().empty());
  run(*a, "COMMIT");
  EXPECT_EQ(scalar(*b, "SELECT bal FROM acct WHERE id = 1"), 10);
  EXPECT_EQ(scalar(*b, "SELECT bal FROM d2..acct WHERE id = 1"), 11);
}

// 100 sessions, each running transactions that read and then update a
// shared row: none fails and no update is lost.
TEST_F(LocksTest, HundredSessionsLoseNoUpdate) {
  constexpr int kSessions = 100;
  constexpr int kRounds = 3;
  std::vector<std::unique_ptr<Session>> sessions;
  for (int i = 0; i < kSessions; ++i) sessions.push_back(open());
  std::atomic<int> failures{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < kSessions; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRounds; ++round) {
        auto r = run(*sessions[static_cast<std::size_t>(i)],
                     "SET LOCK_TIMEOUT -1 BEGIN TRAN "
                     "DECLARE @b int SELECT @b = bal FROM acct WHERE id = " +
                         std::to_string(1 + i % 3) + " UPDATE acct SET bal = bal + 1 WHERE id = " +
                         std::to_string(1 + i % 3) + " COMMIT");
        if (!r.errors().empty()) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(120));
  EXPECT_EQ(scalar(*sessions[0], "SELECT sum(bal) FROM acct"), kSessions * kRounds);
}

// anna is a user of tessel only.
TEST_F(LocksTest, DatabaseUserHasItsDatabasesOnly) {
  auto sa = open();
  ASSERT_TRUE(
      run(*sa, "CREATE TABLE master..t (v int) INSERT master..t VALUES (1)").errors().empty());
  EXPECT_FALSE(open("anna", 0, "d2"));
  EXPECT_EQ(last_.number, 4060);
  auto anna = open("anna");
  ASSERT_TRUE(anna);
  EXPECT_EQ(anna->currentDatabase(), "tessel");
  const std::string saSpid = std::to_string(scalar(*sa, "SELECT @@SPID"));
  const std::vector<std::pair<std::string, std::vector<std::int32_t>>> cases = {
      {"CREATE TABLE mine (v int) INSERT mine VALUES (1) UPDATE acct SET bal = 5 "
       "SELECT count(*) FROM mine DROP TABLE mine",
       {}},
      {"SELECT count(*) FROM master..sysdatabases SELECT v FROM master..t", {}},
      {"CREATE TABLE #mine (v int) INSERT #mine VALUES (1) USE tempdb USE tessel", {}},
      {"USE d2", {916}},
      {"SELECT * FROM d2..acct", {916}},
      {"UPDATE d2..acct SET bal = 0", {916}},
      {"INSERT master..t VALUES (2)", {229}},
      {"UPDATE master.dbo.t SET v = 0", {229}},
      {"DELETE x FROM master..t x", {229}},
      {"CREATE TABLE master..u (v int)", {262}},
      {"DROP TABLE master..t", {3701}},
      {"CREATE DATABASE d3", {262}},
      {"DROP DATABASE d2", {3701}},
      {"KILL " + saSpid, {6102}},
  };
  for (const auto& [sql, expected] : cases) {
    auto r = run(*anna, sql);
    EXPECT_EQ(numbers(r), expected) << sql;
  }
  auto denied = run(*anna, "INSERT master..t VALUES (2)");
  EXPECT_EQ(denied.errors().at(0).text,
            "The INSERT permission was denied on the object 't', database 'master', schema "
            "'dbo'.");
  auto noAccess = run(*anna, "USE d2");
  EXPECT_EQ(noAccess.errors().at(0).text,
            "The server principal \"anna\" is not able to access the database \"d2\" under the "
            "current security context.");
  // Nothing of it reached sa's data; sa may do all of it.
  EXPECT_EQ(scalar(*sa, "SELECT count(*) FROM master..t"), 1);
  EXPECT_FALSE(sa->terminated());
  auto saAll = run(*sa, "CREATE DATABASE d3 USE d2");
  EXPECT_TRUE(saAll.errors().empty()) << saAll.errors()[0].number << saAll.errors()[0].text;
  EXPECT_EQ(numbers(run(*sa, "KILL 999")), std::vector<std::int32_t>{6106});
}

}  // namespace
}  // namespace tessel::sqld::testing
