// The exact commands a query gives the client library, and its reaction to
// failures the stand-in library plays back: no server involved.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
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
  EXPECT_TRUE(Logged("dbcmd , @B NVARCHAR(MAX)\n")) << stub_log();
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
  EXPECT_EQ(query.RowsAffected(), -1) << "no result reported a count";
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

// The statement is sent as a zero-terminated text; the procedure path
// carries the bytes.
TEST_F(StubQueryTest, AZeroCharacterIsRefusedBeforeSendingUnlessPrepared) {
  stub_set("dbresults", kNoMoreResults);
  query.SQL()->SetText("update T set A = :A, B = :B");
  query.ParamByName("A")->SetAsInteger(1);
  query.ParamByName("B")->SetAsString(std::string("a\0'; drop table T --", 21));
  try {
    query.ExecSQL();
    FAIL() << "a value with a zero character was sent as text";
  } catch (const ElqSQLError&) {
    FAIL() << "the server was asked";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Parameter 'B' contains a zero character"), std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(stub_calls("dbcmd"), 0) << stub_log();
  EXPECT_EQ(stub_calls("dbsqlexec"), 1) << "only the new connection's own setup may run";
  query.Prepare();
  stub_reset();
  stub_set("dbresults", kNoMoreResults);
  EXPECT_NO_THROW(query.ExecSQL());
  EXPECT_EQ(stub_calls("dbrpcparam"), 2) << stub_log();
  EXPECT_EQ(stub_calls("dbcmd"), 0) << stub_log();
}

class StubColumnsTest : public StubQueryTest {
 protected:
  static void Column(int n, const char* name, int type, int max_length, int null) {
    const std::string key = "col." + std::to_string(n) + ".";
    stub_set_text((key + "name").c_str(), name);
    stub_set((key + "type").c_str(), type);
    stub_set((key + "maxlength").c_str(), max_length);
    stub_set((key + "null").c_str(), null);
  }
  void SetUp() override {
    StubQueryTest::SetUp();
    query.SQL()->SetText("select I, C, D, 1 from T");
    // int, char(10) not null, datetime, an unnamed int expression.
    stub_set("dbnumcols", 4);
    Column(1, "I", 56, 4, 1);
    Column(2, "C", 47, 10, 0);
    Column(3, "D", 61, 8, 1);
    Column(4, "", 56, 4, 1);
  }
};

TEST_F(StubColumnsTest, TypesAndSlotsFollowTheColumnDescriptions) {
  query.Open();
  ASSERT_EQ(query.FieldDefs()->Count(), 4);
  EXPECT_EQ(query.FieldOffset(1), 0);
  EXPECT_EQ(query.FieldOffset(2), 6);
  EXPECT_EQ(query.FieldOffset(3), 18);
  EXPECT_EQ(query.FieldOffset(4), 28);
  EXPECT_EQ(query.RecordSize(), 34);
  const TFieldDefs& defs = *query.FieldDefs();
  EXPECT_EQ(defs[0]->DataType(), ftInteger);
  EXPECT_EQ(defs[0]->Size(), 0);
  EXPECT_FALSE(defs[0]->Required());
  EXPECT_EQ(defs[1]->DataType(), ftString);
  EXPECT_EQ(defs[1]->Size(), 10);
  EXPECT_TRUE(defs[1]->Required());
  EXPECT_EQ(defs[2]->DataType(), ftDateTime);
  EXPECT_EQ(defs[2]->Size(), 0);
  EXPECT_EQ(defs[3]->Name(), "Field4");
  EXPECT_EQ(defs[3]->FieldNo(), 4);
  EXPECT_EQ(query.ColumnType(1), 56);
  EXPECT_EQ(query.ColumnType(2), 47);
  EXPECT_EQ(query.ColumnType(3), 61);
  query.Close();

  // Three columns alone: offsets 0, 6, 18 and a 28-byte data area; a char
  // column described as variable length is kept as varchar, still a string.
  stub_set("dbnumcols", 3);
  stub_set("col.2.varlength", 1);
  query.Open();
  EXPECT_EQ(query.FieldCount(), 3);
  EXPECT_EQ(query.FieldOffset(3), 18);
  EXPECT_EQ(query.RecordSize(), 28);
  EXPECT_EQ(query.ColumnType(2), 39);
  EXPECT_EQ((*query.FieldDefs())[1]->DataType(), ftString);
  query.Close();
}

TEST_F(StubColumnsTest, AColumnThatCannotBeDescribedIsAnErrorAndLeavesNoFields) {
  stub_set("dbcolinfo.fail", 2);
  stub_set_text("err.text", "column description lost");
  try {
    query.Open();
    FAIL() << "opened with a column that could not be described";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Column 2"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("column description lost"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.FieldDefs()->Count(), 0);
  EXPECT_EQ(query.FieldCount(), 0);
  EXPECT_EQ(query.RecordSize(), 0);
  EXPECT_EQ(stub_calls("dbcolinfo"), 2) << "the pass went on after the failure";

  // The same result described in full opens.
  stub_set("dbcolinfo.fail", 0);
  query.Open();
  EXPECT_EQ(query.FieldCount(), 4);
}

TEST_F(StubColumnsTest, MoreThan512ColumnsAreRefused) {
  stub_set("dbnumcols", 512);
  for (int i = 5; i <= 512; ++i) Column(i, "", 48, 1, 1);
  query.Open();
  EXPECT_EQ(query.FieldCount(), 512);
  EXPECT_EQ(query.ColumnType(512), 48);
  query.Close();
  stub_set("dbnumcols", 513);
  EXPECT_THROW(query.Open(), EDatabaseError);
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.FieldCount(), 0);
}

// A query being destroyed closes its connection even with KeepConnections
// set, and never switches the shared flag off to do it.
TEST_F(StubQueryTest, ADestroyedQueryClosesItsKeptConnectionLeavingTheFlagAlone) {
  static TSQLServer* watched = nullptr;
  static bool seen_off = false;
  server.SetKeepConnections(true);
  const int before = stub_open_connections();
  auto own = std::make_unique<TTessel>(nullptr);
  own->SetSQLServer(&server);
  own->SQL()->SetText("select 1");
  own->Open();  // read on demand: a connection of its own
  own->Close();
  ASSERT_NE(own->DBProcess(), nullptr) << "KeepConnections keeps the connection";
  EXPECT_EQ(stub_open_connections(), before + 1);
  watched = &server;
  seen_off = false;
  stub_set_hook([](const char*) {
    if (watched != nullptr && !watched->KeepConnections()) seen_off = true;
  });
  own.reset();
  stub_set_hook(nullptr);
  watched = nullptr;
  EXPECT_EQ(stub_open_connections(), before);
  EXPECT_FALSE(seen_off);
  EXPECT_TRUE(server.KeepConnections());
}

}  // namespace
}  // namespace tessel
