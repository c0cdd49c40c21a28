// Server errors and client-library errors reaching the handlers with Microsoft's numbers.
#include <chrono>

#include "server_test.h"

namespace tessel::dblib_test {
namespace {

using DbLibHandlers = ServerTest;

TEST_F(DbLibHandlers, AServerErrorIsAMessageThenSqlesmsg) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  messages.clear();
  errors.clear();
  ASSERT_EQ(dbcmd(dbproc, "select * from no_such_table_anywhere"), SUCCEED);
  RETCODE rc = dbsqlexec(dbproc);
  if (rc == SUCCEED) rc = dbresults(dbproc);
  EXPECT_EQ(rc, FAIL);
  // SQL Server answers 208 (invalid object name); any error of severity 11 or more will do.
  bool seen = false;
  for (const auto& m : messages) {
    if (m.severity > 10) {
      seen = true;
      EXPECT_EQ(m.dbproc, dbproc);
      EXPECT_FALSE(m.text.empty());
    }
  }
  EXPECT_TRUE(seen);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().number, SQLESMSG);  // 10007: "check the messages"
  dbcancel(dbproc);
  EXPECT_EQ(Column(dbproc, "select 1"), std::vector<std::string>{"1"});
}

TEST_F(DbLibHandlers, InformationalMessagesHaveSeverityZeroAndNoError) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  messages.clear();
  errors.clear();
  if (!Prepare(dbproc, "print 'hello from print'")) GTEST_SKIP() << skip_reason;
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().text, "hello from print");
  EXPECT_EQ(messages.back().severity, 0);
  EXPECT_TRUE(errors.empty());
}

std::vector<PDBPROCESS> own_messages;
INT OwnHandler(PDBPROCESS dbproc, DBINT, INT, INT, LPCSTR, LPCSTR, LPCSTR, DBUSMALLINT) {
  own_messages.push_back(dbproc);
  return 0;
}

TEST_F(DbLibHandlers, AConnectionsOwnMessageHandlerTakesItsMessages) {
  PDBPROCESS mine = Open();
  PDBPROCESS other = Open();
  ASSERT_NE(mine, nullptr);
  ASSERT_NE(other, nullptr);
  own_messages.clear();
  EXPECT_EQ(dbprocmsghandle(mine, &OwnHandler), nullptr);
  messages.clear();
  ASSERT_EQ(dbcmd(mine, "select * from no_table_one"), SUCCEED);
  dbsqlexec(mine);
  dbcancel(mine);
  ASSERT_EQ(dbcmd(other, "select * from no_table_two"), SUCCEED);
  dbsqlexec(other);
  dbcancel(other);
  ASSERT_FALSE(own_messages.empty());
  for (PDBPROCESS from : own_messages) EXPECT_EQ(from, mine);
  ASSERT_FALSE(messages.empty());
  for (const auto& m : messages) EXPECT_EQ(m.dbproc, other);
  EXPECT_EQ(dbprocmsghandle(mine, nullptr), &OwnHandler);
  // Back to the process-wide handler.
  messages.clear();
  ASSERT_EQ(dbcmd(mine, "select * from no_table_three"), SUCCEED);
  dbsqlexec(mine);
  dbcancel(mine);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().dbproc, mine);
}

TEST_F(DbLibHandlers, ATimeOutCancelledByTheHandlerLeavesTheConnectionUsable) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "waitfor delay '00:00:00.010'")) GTEST_SKIP() << skip_reason;
  ASSERT_EQ(dbsetopt(dbproc, DBSETTIME, "1"), SUCCEED);
  errors.clear();
  error_answer = INT_CANCEL;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(dbcmd(dbproc, "waitfor delay '00:00:05'"), SUCCEED);
  EXPECT_EQ(dbsqlexec(dbproc), FAIL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(SawError(SQLETIME));
  EXPECT_EQ(dbdead(dbproc), FALSE);
  dbcancel(dbproc);
  EXPECT_EQ(Column(dbproc, "select 2"), std::vector<std::string>{"2"});
}

// A session waits for another session's lock as long as its client lets it
// (LOCK_TIMEOUT starts at -1): the query time-out cancels the wait, nothing
// is written, and the connection serves the next batch.
TEST_F(DbLibHandlers, TheTimeOutCancelsAWaitForALock) {
  PDBPROCESS holder = Open();
  PDBPROCESS waiter = Open();
  ASSERT_NE(holder, nullptr);
  ASSERT_NE(waiter, nullptr);
  if (!Prepare(holder,
               "if object_id('lock_wait') is not null drop table lock_wait "
               "create table lock_wait (v int) insert lock_wait values (1)")) {
    GTEST_SKIP() << skip_reason;
  }
  EXPECT_EQ(Column(waiter, "select @@lock_timeout"), std::vector<std::string>{"-1"});
  ASSERT_TRUE(Run(holder, "begin tran update lock_wait set v = 2"));
  ASSERT_EQ(dbsetopt(waiter, DBSETTIME, "1"), SUCCEED);
  errors.clear();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(dbcmd(waiter, "update lock_wait set v = 3"), SUCCEED);
  EXPECT_EQ(dbsqlexec(waiter), FAIL);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(800));
  EXPECT_LT(waited, std::chrono::seconds(4));
  EXPECT_TRUE(SawError(SQLETIME));
  EXPECT_EQ(dbdead(waiter), FALSE);
  dbcancel(waiter);
  ASSERT_TRUE(Run(holder, "commit tran"));
  EXPECT_EQ(Column(waiter, "select v from lock_wait"), std::vector<std::string>{"2"});
  Run(holder, "drop table lock_wait");
}

TEST_F(DbLibHandlers, AnExitRequestFromTheHandlerDoesNotEndTheProcess) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  error_answer = INT_EXIT;
  ASSERT_EQ(dbcmd(dbproc, "select * from no_such_table_either"), SUCCEED);
  RETCODE rc = dbsqlexec(dbproc);
  if (rc == SUCCEED) rc = dbresults(dbproc);
  EXPECT_EQ(rc, FAIL);
  error_answer = INT_CANCEL;
  dbcancel(dbproc);
  EXPECT_EQ(Column(dbproc, "select 3"), std::vector<std::string>{"3"});
}

}  // namespace
}  // namespace tessel::dblib_test
