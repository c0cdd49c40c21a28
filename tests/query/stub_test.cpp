// The exact commands a query gives the client library, and its reaction to
// failures the stand-in library plays back: no server involved.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dblib_stub.h"
#include "framework/exceptions.h"
#include "runtime/Tessel.h"

namespace tessel {
namespace {

constexpr long long kNoMoreResults = 2;

class StubQueryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
    InitializeDBLIB();
  }
  void SetUp() override {
    stub_reset();
    CheckDBResult(1);
    server.SetServerName("srv");
    server.SetUsername("sa");
    query.SetSQLServer(&server);
  }
  void TearDown() override { query.SetSQLServer(nullptr); }

  static bool Logged(const std::string& line) {
    return std::string(stub_log()).find(line) != std::string::npos;
  }

  TSQLServer server{nullptr};
  TTessel query{nullptr};
};

TEST_F(StubQueryTest, PrepareSendsTheProcedureTextAndUnprepareDropsIt) {
  stub_set("dbresults", kNoMoreResults);
  query.SQL()->SetText("select * from T where A = :A and B = :B or C = :a");
  query.ParamByName("A")->SetDataType(ftInteger);
  query.Params()->Items(1)->SetDataType(ftString);
  query.Params()->Items(2)->SetDataType(ftInteger);
  query.Prepare();
  ASSERT_TRUE(query.Prepared());
  EXPECT_EQ(query.ProcName(), "#NoName000001");
  EXPECT_TRUE(Logged("dbcmd CREATE PROCEDURE #NoName000001 \n")) << stub_log();
  EXPECT_TRUE(Logged("dbcmd @A INTEGER\n")) << stub_log();
  EXPECT_TRUE(Logged("dbcmd , @B VARCHAR(255)\n")) << stub_log();
  EXPECT_FALSE(Logged("@a INTEGER")) << "a name is declared once, whatever its case";
  EXPECT_TRUE(Logged("dbcmd  AS select * from T where A = @A and B = @B or C = @a\n"))
      << stub_log();
  stub_reset();
  stub_set("dbresults", kNoMoreResults);
  query.Unprepare();
  EXPECT_FALSE(query.Prepared());
  EXPECT_TRUE(Logged("dbcmd DROP PROCEDURE #NoName000001")) << stub_log();
}

TEST_F(StubQueryTest, ATextBatchCarriesTheValuesWrittenIn) {
  stub_set("dbresults", kNoMoreResults);
  query.SQL()->SetText("update T set A = :A where B = ':A' and C = :C");
  query.ParamByName("A")->SetAsString("x:C");
  query.ParamByName("C")->SetAsFloat(0.5);
  query.ExecSQL();
  EXPECT_TRUE(Logged("dbcmd update T set A = 'x:C' where B = ':A' and C = 0.5\n")) << stub_log();
  EXPECT_EQ(query.RowsAffected(), 0);
}

TEST_F(StubQueryTest, AFailedFetchIsAnErrorNotARow) {
  stub_set("dbnextrow.rows", 0);
  stub_set("dbnextrow.end", FAIL);
  query.SQL()->SetText("select 1");
  EXPECT_THROW(query.Open(), ElqSQLError);
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.DBProcess(), nullptr);
}

TEST_F(StubQueryTest, AFailingFirstResultClosesAndRaises) {
  stub_set("dbresults", FAIL);
  query.SQL()->SetText("select 1");
  EXPECT_THROW(query.Open(), ElqSQLError);
  EXPECT_FALSE(query.Active());
}

TEST_F(StubQueryTest, ADeadConnectionIsForgottenAndTheProcedureWithIt) {
  stub_set("dbresults", kNoMoreResults);
  query.SQL()->SetText("update T set A = :A");
  query.ParamByName("A")->SetAsInteger(1);
  query.Prepare();
  PDBPROCESS first = query.DBProcess();
  ASSERT_NE(first, nullptr);
  stub_set("dbdead", 1);
  EXPECT_NO_THROW(query.ExecSQL());
  EXPECT_FALSE(query.Prepared());
  EXPECT_FALSE(Logged("dbrpcinit")) << "the dead procedure was called";
}

}  // namespace
}  // namespace tessel
