// db-lib features over the wire through FreeTDS against a tessel-sqld
// process: bcp_* (INSERT BULK and the bulk-load message) into ordinary and
// temporary tables, a failing load that must leave nothing behind,
// dbwritetext/dbmoretext (WRITETEXT BULK with its timestamp clause), and
// browse mode (SELECT ... FOR BROWSE: table names and column origins).

#include <gtest/gtest.h>
#include <sybdb.h>

#include <cstring>
#include <string>
#include <vector>

#include "sqld_process.h"

namespace tessel::sqld::wire {
namespace {

std::vector<std::string> gMessages;

int onMessage(DBPROCESS*, DBINT number, int, int severity, char* text, char*, char*, int) {
  if (severity > 10) gMessages.push_back(std::to_string(number) + " " + (text ? text : ""));
  return 0;
}

int onError(DBPROCESS*, int, int dberr, int, char* text, char*) {
  if (dberr != SYBESMSG) gMessages.push_back("db-lib " + std::string(text ? text : ""));
  return INT_CANCEL;
}

class BulkWire : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dbinit(); }

  void SetUp() override {
    const std::string password = tessel::testing::RandomPassword("bulk-");
    std::string why;
    ASSERT_TRUE(server_.Start(TESSEL_SQLD_PATH, password, why)) << why;
    dberrhandle(onError);
    dbmsghandle(onMessage);
    gMessages.clear();
    LOGINREC* rec = dblogin();
    DBSETLUSER(rec, "sa");
    DBSETLPWD(rec, password.c_str());
    DBSETLAPP(rec, "bulk_wire");
    DBSETLCHARSET(rec, "UTF-8");
    DBSETLVERSION(rec, DBVERSION_74);
    BCP_SETL(rec, TRUE);
    const std::string host = "127.0.0.1:" + std::to_string(server_.Port());
    db_ = dbopen(rec, host.c_str());
    dbloginfree(rec);
    ASSERT_NE(db_, nullptr);
    ASSERT_EQ(dbuse(db_, "tessel"), SUCCEED);
  }
  void TearDown() override {
    if (db_) dbclose(db_);
    server_.Stop();
  }

  void exec(const std::string& sql) {
    dbcmd(db_, sql.c_str());
    ASSERT_EQ(dbsqlexec(db_), SUCCEED) << sql;
    while (dbresults(db_) != NO_MORE_RESULTS)
      while (dbnextrow(db_) != NO_MORE_ROWS) {
      }
  }

  // Every row of a query, columns converted to text and joined by "|".
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    dbcmd(db_, sql.c_str());
    if (dbsqlexec(db_) != SUCCEED) return {"<failed>"};
    while (dbresults(db_) != NO_MORE_RESULTS) {
      const int n = dbnumcols(db_);
      while (dbnextrow(db_) != NO_MORE_ROWS) {
        std::string line;
        for (int i = 1; i <= n; ++i) {
          if (i > 1) line += "|";
          BYTE* data = dbdata(db_, i);
          if (!data) {
            line += "NULL";
            continue;
          }
          char buf[8192];
          DBINT len = dbconvert(db_, dbcoltype(db_, i), data, dbdatlen(db_, i), SYBCHAR,
                                reinterpret_cast<BYTE*>(buf), sizeof buf - 1);
          line += len < 0 ? "?" : std::string(buf, static_cast<std::size_t>(len));
        }
        out.push_back(line);
      }
    }
    return out;
  }

  // Copies (id, name, amount, note) rows in; a null name or note when empty.
  DBINT copyIn(const char* table, const std::vector<std::pair<int, std::string>>& data) {
    if (bcp_init(db_, table, nullptr, nullptr, DB_IN) != SUCCEED) return -2;
    DBINT id = 0;
    char name[64] = {};
    char amount[32] = {};
    char note[8192] = {};
    bcp_bind(db_, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1);
    bcp_bind(db_, reinterpret_cast<BYTE*>(name), 0, -1,
             reinterpret_cast<BYTE*>(const_cast<char*>("")), 1, SYBCHAR, 2);
    bcp_bind(db_, reinterpret_cast<BYTE*>(amount), 0, -1,
             reinterpret_cast<BYTE*>(const_cast<char*>("")), 1, SYBCHAR, 3);
    bcp_bind(db_, reinterpret_cast<BYTE*>(note), 0, -1,
             reinterpret_cast<BYTE*>(const_cast<char*>("")), 1, SYBCHAR, 4);
    for (const auto& [i, text] : data) {
      id = i;
      std::snprintf(name, sizeof name, "%s", text.c_str());
      std::snprintf(amount, sizeof amount, "%d.25", i);
      std::snprintf(note, sizeof note, "%s", text.empty() ? "" : (text + " note").c_str());
      bcp_collen(db_, text.empty() ? 0 : -1, 2);
      bcp_collen(db_, text.empty() ? 0 : -1, 4);
      if (bcp_sendrow(db_) != SUCCEED) return -3;
    }
    return bcp_done(db_);
  }

  tessel::testing::SqldProcess server_;
  DBPROCESS* db_ = nullptr;
};

TEST_F(BulkWire, RowsArriveWithTheirTypesAndNulls) {
  exec(
      "create table people (id int not null, name varchar(20) null, amount decimal(10,2) null, "
      "note text null)");
  EXPECT_EQ(copyIn("people", {{1, "Anna"}, {2, ""}, {3, "Bjorn"}}), 3)
      << (gMessages.empty() ? "" : gMessages.front());
  EXPECT_EQ(rows("select id, name, amount, note from people order by id"),
            (std::vector<std::string>{"1|Anna|1.25|Anna note", "2|NULL|2.25|NULL",
                                      "3|Bjorn|3.25|Bjorn note"}));
  // The session goes on as usual after the load.
  EXPECT_EQ(rows("select count(*) from people"), std::vector<std::string>{"3"});
}

TEST_F(BulkWire, TemporaryTablesAndManyPacketsOfRows) {
  exec(
      "create table #load (id int not null, name varchar(20) null, amount decimal(10,2) null, "
      "note varchar(max) null)");
  std::vector<std::pair<int, std::string>> data;
  for (int i = 1; i <= 3000; ++i) data.emplace_back(i, "row " + std::to_string(i));
  EXPECT_EQ(copyIn("#load", data), 3000) << (gMessages.empty() ? "" : gMessages.front());
  EXPECT_EQ(rows("select count(*), sum(id), max(name), sum(amount) from #load"),
            std::vector<std::string>{"3000|4501500|row 999|4502250.00"});
}

TEST_F(BulkWire, AFailingLoadInsertsNothingAndTheSessionGoesOn) {
  exec(
      "create table strict (id int not null primary key, name varchar(20) null, amount "
      "decimal(10,2) null, note text null)");
  exec("insert strict values (2, 'there', 0, null)");
  // Row 2 collides with the key already there: the whole load fails.
  EXPECT_EQ(copyIn("strict", {{1, "a"}, {2, "b"}, {3, "c"}}), -1);
  bool sawKeyError = false;
  for (const auto& m : gMessages) sawKeyError |= m.rfind("2627 ", 0) == 0;
  EXPECT_TRUE(sawKeyError);
  gMessages.clear();
  EXPECT_EQ(rows("select id, name from strict"), std::vector<std::string>{"2|there"});
}

TEST_F(BulkWire, WritetextBulkReplacesTheValueInPieces) {
  exec("create table pics (id int not null, body text null)");
  exec("insert pics values (1, 'old'), (2, 'other')");
  dbcmd(db_, "select body from pics where id = 1");
  ASSERT_EQ(dbsqlexec(db_), SUCCEED);
  ASSERT_EQ(dbresults(db_), SUCCEED);
  ASSERT_EQ(dbnextrow(db_), REG_ROW);
  DBBINARY pointer[DBTXPLEN];
  DBBINARY stamp[DBTXTSLEN];
  ASSERT_NE(dbtxptr(db_, 1), nullptr);
  std::memcpy(pointer, dbtxptr(db_, 1), DBTXPLEN);
  std::memcpy(stamp, dbtxtimestamp(db_, 1), DBTXTSLEN);
  dbcanquery(db_);
  while (dbresults(db_) != NO_MORE_RESULTS) {
  }
  const std::string part1(3000, 'x'), part2 = "tail \xC3\xA9";
  const auto total = static_cast<DBINT>(part1.size() + 6);  // é is one byte in code page 1252
  ASSERT_EQ(dbwritetext(db_, const_cast<char*>("pics.body"), pointer, DBTXPLEN, stamp, TRUE, total,
                        nullptr),
            SUCCEED)
      << (gMessages.empty() ? "" : gMessages.front());
  ASSERT_EQ(dbsqlok(db_), SUCCEED);
  dbresults(db_);
  std::string latin = part1 + "tail \xE9";
  ASSERT_EQ(
      dbmoretext(db_, static_cast<DBINT>(part1.size()), reinterpret_cast<BYTE*>(latin.data())),
      SUCCEED);
  ASSERT_EQ(dbmoretext(db_, 6, reinterpret_cast<BYTE*>(latin.data() + part1.size())), SUCCEED);
  ASSERT_EQ(dbsqlok(db_), SUCCEED);
  while (dbresults(db_) != NO_MORE_RESULTS) {
  }
  EXPECT_TRUE(gMessages.empty()) << gMessages.front();
  EXPECT_EQ(
      rows("select datalength(body), right(cast(body as varchar(max)), 6) from pics order by id"),
      (std::vector<std::string>{"3006|" + part2, "5|other"}));
}

// DBCOUNT after each SELECT is the rows it returned, ORDER BY and TOP or not.
TEST_F(BulkWire, EverySelectCountsItsRows) {
  exec(
      "create table #counted (n int) insert #counted values (3) insert #counted values (1) "
      "insert #counted values (2)");
  const std::pair<const char*, DBINT> cases[] = {
      {"select top 2 n from #counted order by n", 2},
      {"select n from #counted order by n desc", 3},
      {"select top 1 n from #counted", 1},
      {"select n from #counted where n > 5", 0},
  };
  for (const auto& [sql, count] : cases) {
    dbcmd(db_, sql);
    ASSERT_EQ(dbsqlexec(db_), SUCCEED) << sql;
    ASSERT_EQ(dbresults(db_), SUCCEED) << sql;
    DBINT seen = 0;
    while (dbnextrow(db_) != NO_MORE_ROWS) ++seen;
    EXPECT_EQ(seen, count) << sql;
    EXPECT_EQ(DBCOUNT(db_), count) << sql;
    while (dbresults(db_) != NO_MORE_RESULTS) {
    }
  }
}

TEST_F(BulkWire, BrowseModeNamesTheBaseTableAndColumnOfEachColumn) {
  exec("create table #left_t (is_an_int int not null, is_a_string char(10) not null)");
  exec("create table #right_t (is_a_money money not null)");
  exec("insert #left_t values (1, 'a') insert #right_t values (2)");
  dbcmd(db_,
        "select is_an_int as number, is_a_string, is_a_money as dollars, is_an_int + 1 as calc "
        "from #left_t, #right_t for browse");
  ASSERT_EQ(dbsqlexec(db_), SUCCEED);
  ASSERT_EQ(dbresults(db_), SUCCEED);
  const char* expected[][2] = {
      {"number", "#left_t"}, {"is_a_string", "#left_t"}, {"dollars", "#right_t"}, {"calc", ""}};
  for (int i = 1; i <= 4; ++i) {
    DBCOL2 col;
    std::memset(&col, 0, sizeof col);
    col.SizeOfStruct = sizeof col;
    ASSERT_EQ(dbtablecolinfo(db_, i, reinterpret_cast<DBCOL*>(&col)), SUCCEED);
    EXPECT_STREQ(col.Name, expected[i - 1][0]);
    // db-lib shows the name quoted: [#left_t].
    const std::string table = col.TableName;
    if (*expected[i - 1][1])
      EXPECT_EQ(table, "[" + std::string(expected[i - 1][1]) + "]") << i;
    else
      EXPECT_EQ(table, "") << i;
  }
  EXPECT_EQ(dbnextrow(db_), REG_ROW);
  EXPECT_EQ(dbnextrow(db_), NO_MORE_ROWS);
  while (dbresults(db_) != NO_MORE_RESULTS) {
  }
  // Without FOR BROWSE no table name travels with an ordinary column.
  dbcmd(db_, "select is_an_int from #left_t");
  ASSERT_EQ(dbsqlexec(db_), SUCCEED);
  ASSERT_EQ(dbresults(db_), SUCCEED);
  DBCOL2 plain;
  std::memset(&plain, 0, sizeof plain);
  plain.SizeOfStruct = sizeof plain;
  ASSERT_EQ(dbtablecolinfo(db_, 1, reinterpret_cast<DBCOL*>(&plain)), SUCCEED);
  EXPECT_STREQ(plain.TableName, "");
  dbcanquery(db_);
}

}  // namespace
}  // namespace tessel::sqld::wire
