// Sending without waiting, polling for the answer, cancelling, and remote procedure calls.
#include <chrono>
#include <cstring>
#include <thread>

#include "server_test.h"

namespace tessel::dblib_test {
namespace {

using DbLibAsync = ServerTest;

// Polls as the components do; false when no answer came within ten seconds.
bool WaitForAnswer(PDBPROCESS dbproc) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (dbdataready(dbproc) == FALSE) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(DbLibAsync, SendPollThenReadTheAnswer) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  ASSERT_EQ(dbcmd(dbproc, "select 42"), SUCCEED);
  ASSERT_EQ(dbsqlsend(dbproc), SUCCEED);
  ASSERT_TRUE(WaitForAnswer(dbproc));
  ASSERT_EQ(dbsqlok(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  DBINT value = 0;
  std::memcpy(&value, dbdata(dbproc, 1), sizeof value);
  EXPECT_EQ(value, 42);
  // Mid-result, with the rest already at hand, the poll must not claim to wait.
  EXPECT_EQ(dbdataready(dbproc), TRUE);
  EXPECT_EQ(dbnextrow(dbproc), NO_MORE_ROWS);
}

TEST_F(DbLibAsync, NotReadyWhileTheServerIsStillWorking) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "waitfor delay '00:00:00.010'")) GTEST_SKIP() << skip_reason;
  ASSERT_EQ(dbcmd(dbproc, "waitfor delay '00:00:01' select 1"), SUCCEED);
  ASSERT_EQ(dbsqlsend(dbproc), SUCCEED);
  EXPECT_EQ(dbdataready(dbproc), FALSE);
  ASSERT_TRUE(WaitForAnswer(dbproc));
  EXPECT_EQ(dbsqlok(dbproc), SUCCEED);
  dbcancel(dbproc);
}

TEST_F(DbLibAsync, CancelBeforeTheAnswerArrives) {
  // The worker's way out: a sent batch, no answer yet, dbcancel.
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "waitfor delay '00:00:00.010'")) GTEST_SKIP() << skip_reason;
  ASSERT_EQ(dbcmd(dbproc, "waitfor delay '00:00:05' select 1"), SUCCEED);
  ASSERT_EQ(dbsqlsend(dbproc), SUCCEED);
  EXPECT_EQ(dbdataready(dbproc), FALSE);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dbcancel(dbproc), SUCCEED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(dbdataready(dbproc), TRUE);  // nothing outstanding any more
  EXPECT_EQ(dbdead(dbproc), FALSE);
  EXPECT_EQ(Column(dbproc, "select 4"), std::vector<std::string>{"4"});
}

TEST_F(DbLibAsync, CancelMidResultAndCarryOn) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  ASSERT_EQ(dbcmd(dbproc, "select 1 union all select 2 union all select 3"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  EXPECT_EQ(dbcancel(dbproc), SUCCEED);
  EXPECT_EQ(dbdead(dbproc), FALSE);
  EXPECT_EQ(Column(dbproc, "select 9"), std::vector<std::string>{"9"});
  // dbcanquery drops the rest of one result only.
  ASSERT_EQ(dbcmd(dbproc, "select 1 union all select 2 select 8"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  EXPECT_EQ(dbcanquery(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  DBINT value = 0;
  std::memcpy(&value, dbdata(dbproc, 1), sizeof value);
  EXPECT_EQ(value, 8);
  dbcancel(dbproc);
}

class DbLibRpcCall : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    dbproc = Open();
    ASSERT_NE(dbproc, nullptr);
    if (!Prepare(dbproc,
                 "create procedure #echo @a int, @b varchar(10), @m money, @d decimal(10,2), "
                 "@t datetime as select @a, @b, @m, @d, @t")) {
      GTEST_SKIP() << skip_reason;
    }
  }

  // The parameters as the components pass them on their procedure path: integer,
  // text, money converted from a float, a decimal, a date as text.
  void AddParameters() {
    ASSERT_EQ(dbrpcinit(dbproc, "#echo", DBRPCRECOMPILE), SUCCEED);
    ASSERT_EQ(dbrpcparam(dbproc, "@a", 0, SQLINT4, -1, -1, reinterpret_cast<LPCBYTE>(&a)), SUCCEED);
    ASSERT_EQ(dbrpcparam(dbproc, "@b", 0, SQLCHAR, -1, 5, reinterpret_cast<LPCBYTE>("hello")),
              SUCCEED);
    DBFLT8 amount = 12.3456;
    ASSERT_EQ(dbconvert(nullptr, SQLFLT8, reinterpret_cast<LPCBYTE>(&amount), 8, SQLMONEY,
                        reinterpret_cast<LPBYTE>(&money), 8),
              8);
    ASSERT_EQ(dbrpcparam(dbproc, "@m", 0, SQLMONEY, -1, -1, reinterpret_cast<LPCBYTE>(&money)),
              SUCCEED);
    decimal.precision = 10;
    decimal.scale = 2;
    decimal.sign = 0;
    decimal.val[0] = 0x39;
    decimal.val[1] = 0x30;  // -123.45
    ASSERT_EQ(dbrpcparam(dbproc, "@d", 0, SQLDECIMAL, -1, sizeof decimal,
                         reinterpret_cast<LPCBYTE>(&decimal)),
              SUCCEED);
    const char* when = "2001-01-02 03:04:05";
    ASSERT_EQ(dbrpcparam(dbproc, "@t", 0, SQLCHAR, -1, static_cast<DBINT>(std::strlen(when)),
                         reinterpret_cast<LPCBYTE>(when)),
              SUCCEED);
  }

  void CheckEcho() {
    ASSERT_EQ(dbresults(dbproc), SUCCEED);
    ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
    DBINT got_a = 0;
    std::memcpy(&got_a, dbdata(dbproc, 1), sizeof got_a);
    EXPECT_EQ(got_a, a);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dbdata(dbproc, 2)),
                          static_cast<size_t>(dbdatlen(dbproc, 2))),
              "hello");
    DBMONEY got_m{};
    std::memcpy(&got_m, dbdata(dbproc, 3), sizeof got_m);
    EXPECT_EQ(got_m.mnylow, 123456u);
    DBNUMERIC got_d{};
    ASSERT_EQ(dbdatlen(dbproc, 4), 19);
    std::memcpy(&got_d, dbdata(dbproc, 4), sizeof got_d);
    EXPECT_EQ(got_d.sign, 0);
    EXPECT_EQ(got_d.val[0] | (got_d.val[1] << 8), 12345);
    DBDATEREC r{};
    DBDATETIME t{};
    ASSERT_EQ(dbconvert(dbproc, dbcoltype(dbproc, 5), dbdata(dbproc, 5), dbdatlen(dbproc, 5),
                        SQLDATETIME, reinterpret_cast<LPBYTE>(&t), 8),
              8);
    ASSERT_EQ(dbdatecrack(dbproc, &r, &t), SUCCEED);
    EXPECT_EQ(r.second, 5);
    while (dbnextrow(dbproc) != NO_MORE_ROWS) {
    }
    while (dbresults(dbproc) == SUCCEED) {
    }
    // The text parameter became the same datetime the server makes of that text itself.
    ASSERT_EQ(dbcmd(dbproc, "select cast('2001-01-02 03:04:05' as datetime)"), SUCCEED);
    ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
    ASSERT_EQ(dbresults(dbproc), SUCCEED);
    ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
    DBDATETIME direct{};
    ASSERT_EQ(dbconvert(dbproc, dbcoltype(dbproc, 1), dbdata(dbproc, 1), dbdatlen(dbproc, 1),
                        SQLDATETIME, reinterpret_cast<LPBYTE>(&direct), 8),
              8);
    EXPECT_EQ(direct.dtdays, t.dtdays);
    EXPECT_EQ(direct.dttime, t.dttime);
    dbcancel(dbproc);
  }

  PDBPROCESS dbproc = nullptr;
  DBINT a = 77;
  DBMONEY money{};
  DBNUMERIC decimal{};
};

TEST_F(DbLibRpcCall, SendPollOkAsTheComponentsDo) {
  AddParameters();
  ASSERT_EQ(dbrpcsend(dbproc), SUCCEED);
  ASSERT_TRUE(WaitForAnswer(dbproc));
  ASSERT_EQ(dbsqlok(dbproc), SUCCEED);
  CheckEcho();
}

TEST_F(DbLibRpcCall, RpcexecSendsAndWaits) {
  AddParameters();
  ASSERT_EQ(dbrpcexec(dbproc), SUCCEED);
  CheckEcho();
}

TEST_F(DbLibRpcCall, AnInvalidDecimalParameterIsRefused) {
  ASSERT_EQ(dbrpcinit(dbproc, "#echo", 0), SUCCEED);
  DBNUMERIC bad{};
  errors.clear();
  EXPECT_EQ(dbrpcparam(dbproc, "@d", 0, SQLDECIMAL, -1, 19, reinterpret_cast<LPCBYTE>(&bad)), FAIL);
  EXPECT_TRUE(SawError(SQLEPARM));
  dbrpcinit(dbproc, "", DBRPCRESET);
}

}  // namespace
}  // namespace tessel::dblib_test
