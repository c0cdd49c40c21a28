// Logging in, running batches and describing their columns.
#include <cstring>

#include "server_test.h"

namespace tessel::dblib_test {
namespace {

using DbLibLogin = ServerTest;
using DbLibBatch = ServerTest;

TEST_F(DbLibLogin, RightPasswordOpensAConnection) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr) << (errors.empty() ? "" : errors.back().text);
  EXPECT_EQ(dbdead(dbproc), FALSE);
  EXPECT_GT(dbgetpacket(dbproc), 0);
  for (const auto& e : errors) ADD_FAILURE() << "error " << e.number << ": " << e.text;
}

TEST_F(DbLibLogin, WrongPasswordFailsWithTheServersMessage) {
  ASSERT_EQ(dbsetlname(login, "not the password", DBSETPWD), SUCCEED);
  EXPECT_EQ(Open(), nullptr);
  EXPECT_TRUE(SawMessage(18456)) << "the server's login failure reaches the message handler";
  ASSERT_FALSE(errors.empty());
  for (const auto& e : errors) EXPECT_LT(e.number, 20000) << e.number << ": " << e.text;
}

TEST_F(DbLibLogin, LoginItemsReachTheServerUnderMicrosoftsNumbers) {
  // DBSETAPP is Microsoft's 4 (FreeTDS's 5), DBSETHOST 1, DBSETUSER 2.
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "select app_name(), host_name(), suser_name()")) {
    GTEST_SKIP() << skip_reason;
  }
  EXPECT_EQ(Column(dbproc, "select app_name()"), std::vector<std::string>{"dblib tests"});
  EXPECT_EQ(Column(dbproc, "select host_name()"), std::vector<std::string>{"testhost"});
  EXPECT_EQ(Column(dbproc, "select suser_name()"), std::vector<std::string>{server->user});
}

TEST_F(DbLibLogin, CommaAndColonPortsBothReachTheServer) {
  EXPECT_NE(Open(Address(',')), nullptr);
  EXPECT_NE(Open(Address(':')), nullptr);
}

TEST_F(DbLibLogin, PacketSizeRequestedOnTheLogin) {
  ASSERT_EQ(dbsetlpacket(login, 8192), SUCCEED);
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  EXPECT_GE(dbgetpacket(dbproc), 512);
}

TEST_F(DbLibBatch, SelectRowsAndDescribeColumns) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  ASSERT_EQ(dbcmd(dbproc, "select 1 as a, 'xyz' as b"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  EXPECT_EQ(dbcmdrow(dbproc), SUCCEED);
  ASSERT_EQ(dbnumcols(dbproc), 2);
  DBCOL col;
  std::memset(&col, 0, sizeof col);
  col.SizeOfStruct = sizeof(DBCOL);
  ASSERT_EQ(dbcolinfo(dbproc, CI_REGULAR, 1, 0, &col), SUCCEED);
  EXPECT_STREQ(col.Name, "a");
  EXPECT_TRUE(col.Type == SQLINT4 || col.Type == SQLINTN) << col.Type;
  EXPECT_EQ(+col.MaxLength, 4);
  ASSERT_EQ(dbcolinfo(dbproc, CI_REGULAR, 2, 0, &col), SUCCEED);
  EXPECT_STREQ(col.Name, "b");
  EXPECT_TRUE(col.Type == SQLCHAR || col.Type == SQLVARCHAR) << col.Type;
  EXPECT_STREQ(dbcolname(dbproc, 2), "b");
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  DBINT a = 0;
  ASSERT_NE(dbdata(dbproc, 1), nullptr);
  std::memcpy(&a, dbdata(dbproc, 1), sizeof a);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(dbdatlen(dbproc, 2), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dbdata(dbproc, 2)), 3), "xyz");
  EXPECT_EQ(dbnextrow(dbproc), NO_MORE_ROWS);
  EXPECT_EQ(dbresults(dbproc), NO_MORE_RESULTS);
}

TEST_F(DbLibBatch, DbcolNamesAreCutToThirtyCharactersAndSizeIsChecked) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  ASSERT_EQ(dbcmd(dbproc, "select 7 as abcdefghijklmnopqrstuvwxyz0123456789ABCDEF"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  DBCOL col;
  std::memset(&col, 0x7f, sizeof col);
  col.SizeOfStruct = sizeof(DBCOL);
  ASSERT_EQ(dbcolinfo(dbproc, CI_REGULAR, 1, 0, &col), SUCCEED);
  EXPECT_EQ(std::strlen(col.Name), 30u);
  EXPECT_STREQ(col.Name, "abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_EQ(+col.SizeOfStruct, 122);
  col.SizeOfStruct = 100;  // an older, smaller record must not be overrun
  errors.clear();
  EXPECT_EQ(dbcolinfo(dbproc, CI_REGULAR, 1, 0, &col), FAIL);
  EXPECT_TRUE(SawError(SQLEPARM));
  col.SizeOfStruct = sizeof(DBCOL);
  EXPECT_EQ(dbcolinfo(dbproc, CI_REGULAR, 2, 0, &col), FAIL);  // no such column
  dbcancel(dbproc);
}

TEST_F(DbLibBatch, TheConnectionPreparationOfTheComponents) {
  // What TSQLServer does with every new connection: select the database, set the text
  // size and limit, then run the otherwise empty batch that carries the settings.
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "set textsize 2147483647")) GTEST_SKIP() << skip_reason;
  // A half-built command survives dbuse, whatever dbuse itself answers.
  ASSERT_EQ(dbcmd(dbproc, "select 'kept'"), SUCCEED);
  dbuse(dbproc, "master");
  EXPECT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dbdata(dbproc, 1)), 4), "kept");
  dbcancel(dbproc);
  dbfreebuf(dbproc);

  EXPECT_EQ(dbsetopt(dbproc, DBANSItoOEM, "ON"), SUCCEED);
  EXPECT_EQ(dbsetopt(dbproc, DBTEXTSIZE, "2147483647"), SUCCEED);
  EXPECT_EQ(dbsetopt(dbproc, DBTEXTLIMIT, "2147483647"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  if (dbresults(dbproc) == SUCCEED) {
    while (dbnextrow(dbproc) != NO_MORE_ROWS) {
    }
  }
  while (dbresults(dbproc) == SUCCEED) {
  }
  EXPECT_EQ(Column(dbproc, "select 5"), std::vector<std::string>{"5"});
}

TEST_F(DbLibBatch, OptionsWithBadValuesFail) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  EXPECT_EQ(dbsetopt(dbproc, DBTEXTSIZE, "lots"), FAIL);
  EXPECT_EQ(dbsetopt(dbproc, DBROWCOUNT, "-1"), FAIL);
  EXPECT_EQ(dbsetopt(dbproc, DBSHOWPLAN, nullptr), FAIL);
  EXPECT_EQ(dbsetopt(dbproc, 99, "1"), FAIL);
  EXPECT_EQ(errors.size(), 4u);
  for (const auto& e : errors) EXPECT_EQ(e.number, SQLEIOPT) << e.text;
  EXPECT_EQ(Column(dbproc, "select 6"), std::vector<std::string>{"6"});  // nothing was queued
}

TEST_F(DbLibBatch, RowCountOfChangesAndSeveralResults) {
  PDBPROCESS dbproc = Open();
  ASSERT_NE(dbproc, nullptr);
  if (!Prepare(dbproc, "create table #counted (i int)") ||
      !Prepare(dbproc, "insert into #counted values (1)") ||
      !Prepare(dbproc, "insert into #counted values (2)")) {
    GTEST_SKIP() << skip_reason;
  }
  ASSERT_EQ(dbcmd(dbproc, "update #counted set i = i + 10 select i from #counted"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  EXPECT_EQ(dbcmdrow(dbproc), FAIL);  // the UPDATE returns no rows
  EXPECT_EQ(dbcount(dbproc), 2);
  EXPECT_EQ(dbiscount(dbproc), TRUE);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  EXPECT_EQ(dbcmdrow(dbproc), SUCCEED);
  int rows = 0;
  while (dbnextrow(dbproc) == REG_ROW) ++rows;
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(dbresults(dbproc), NO_MORE_RESULTS);
}

}  // namespace
}  // namespace tessel::dblib_test
