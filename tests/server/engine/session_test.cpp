// Sessions against one engine: transactions seen from a second session, lock
// time-out, cancel during WAITFOR, streaming of a large result, and what a
// data directory keeps across engines (user databases) and what it does not
// (tempdb).

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>
#include <tuple>
#include <utility>

#include "recording_sink.h"
#include "sqld/engine.h"

namespace tessel::sqld::testing {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  std::unique_ptr<Session> open() {
    LoginInfo login;
    login.user = "sa";
    Message error;
    auto s = engine_->openSession(login, error);
    EXPECT_TRUE(s) << error.text;
    return s;
  }

  // A session of an engine of the test's own (one over a data directory).
  static std::unique_ptr<Session> openOn(Engine& engine, const std::string& database = {}) {
    LoginInfo login;
    login.database = database;
    Message error;
    auto s = engine.openSession(login, error);
    EXPECT_TRUE(s) << error.text;
    return s;
  }

  RecordingSink run(Session& s, std::string_view sql) {
    RecordingSink sink;
    CancelFlag cancel;
    s.executeBatch(sql, sink, cancel);
    return sink;
  }

  std::unique_ptr<Engine> engine_ = createSqliteEngine(EngineOptions{});
};

TEST_F(SessionTest, OpensInDefaultDatabase) {
  auto s = open();
  EXPECT_EQ(s->currentDatabase(), "tessel");
}

TEST_F(SessionTest, TransactionRequestIsolationLevelIsReported) {
  auto s = open();
  const char* level =
      "SELECT transaction_isolation_level FROM sys.dm_exec_sessions WHERE session_id = @@SPID";
  s->setIsolationLevel(4);
  auto r = run(*s, level);
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(r.results[0].rows[0][0].data()), 4);
  // 0 (and anything out of range) leaves the level as it was.
  s->setIsolationLevel(0);
  s->setIsolationLevel(9);
  r = run(*s, level);
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(r.results[0].rows[0][0].data()), 4);
}

TEST_F(SessionTest, HostileInputGetsErrorsNotCrashes) {
  auto s = open();
  std::string deep(5000, '(');
  auto nested = run(*s, "SELECT " + deep + "1" + std::string(5000, ')'));
  ASSERT_EQ(nested.errors().size(), 1u);
  EXPECT_EQ(nested.errors()[0].number, 191);
  std::string ifs;
  for (int i = 0; i < 3000; ++i) ifs += "IF 1 = 1 ";
  EXPECT_FALSE(run(*s, ifs + "SELECT 1").errors().empty());
  for (const char* sql :
       {"RAISERROR 'x' 'y'", "SELECT 'unterminated", "SELECT [x", "\x01\x02", "EXEC ('')",
        "SELECT * FROM master..nosuch", "USE [../x]", "CREATE DATABASE [a/b]",
        "SELECT CAST(1 AS nosuchtype)", "DECLARE @v int SET @v = 'x'", "SELECT 1 UNION SELECT 1, 2",
        "SELECT TOP 1 * FROM sysobjects ORDER BY 99"}) {
    auto r = run(*s, sql);
    ASSERT_FALSE(r.dones.empty()) << sql;
    EXPECT_FALSE(r.dones.back().more) << sql;
  }
  EXPECT_EQ(run(*s, "SELECT 1").results.size(), 1u);
}

// WITH XMLNAMESPACES takes what may be declared and refuses the rest: a
// prefix twice, two defaults, xmlns, xml bound elsewhere, an empty URI,
// and FOR XML under it.
TEST_F(SessionTest, XmlNamespacesAreCheckedWhenDeclared) {
  auto s = open();
  const std::string query = " SELECT CAST('<p:a xmlns:p=\"urn:p\"/>' AS xml).exist('/p:a')";
  for (const char* ns : {"('urn:p' AS p)", "('urn:p' AS p, DEFAULT 'urn:d')",
                         "('http://www.w3.org/XML/1998/namespace' AS xml, 'urn:p' AS p)"})
    EXPECT_TRUE(run(*s, std::string("WITH XMLNAMESPACES ") + ns + query).errors().empty()) << ns;
  for (const char* ns :
       {"('urn:a' AS p, 'urn:p' AS p)", "(DEFAULT 'urn:a', DEFAULT 'urn:b', 'urn:p' AS p)",
        "('urn:x' AS xmlns, 'urn:p' AS p)", "('urn:x' AS xml, 'urn:p' AS p)",
        "('http://www.w3.org/XML/1998/namespace' AS p)", "(' ' AS p)",
        "(DEFAULT '', 'urn:p' AS p)"})
    EXPECT_FALSE(run(*s, std::string("WITH XMLNAMESPACES ") + ns + query).errors().empty()) << ns;
  // FOR XML would leave the prefixes undeclared in its text: refused.
  const std::string forXml = " SELECT 1 AS a FOR XML PATH";
  EXPECT_TRUE(run(*s, forXml).errors().empty());
  EXPECT_FALSE(run(*s, "WITH XMLNAMESPACES ('urn:p' AS p)" + forXml).errors().empty());
}

// Generated statements with tens of thousands of operands (ten times what
// once overflowed the stack) run, or fail with 191, and the session goes on.
TEST_F(SessionTest, LongOperandListsRunOrFailWith191) {
  auto s = open();
  auto chain = [](std::string first, std::string_view each, int n) {
    first.reserve(first.size() + each.size() * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) first += each;
    return first;
  };
  std::string list = "0";
  for (int i = 1; i < 50000; ++i) list += "," + std::to_string(i);
  ASSERT_TRUE(run(*s, "CREATE TABLE chain_t (x int) INSERT chain_t VALUES (7), (49999), (50000)")
                  .errors()
                  .empty());
  struct Case {
    std::string sql;
    std::string value;  // of the one row and column, or empty with `error`
    int error;
  };
  const Case cases[] = {
      {"SELECT " + chain("1", "+1", 60000), "60001", 0},
      {"SELECT " + chain("1", "+1-1", 30000) + "+CAST(2 AS bigint)", "3", 0},
      {"SELECT " + chain("2147483647", "+1-1", 30000), "", 8115},
      {"SELECT " + chain("1", "*1", 60000), "", 191},
      {"SELECT " + chain("1.5", "+1.5", 60000), "", 191},
      {"SET CONCAT_NULL_YIELDS_NULL ON SELECT " + chain("'<'", "+''", 60000) + "+'>'", "<>", 0},
      {"SET CONCAT_NULL_YIELDS_NULL OFF DECLARE @n varchar(1) SELECT " +
           chain("'<'", "+@n", 60000) + "+'>'",
       "<>", 0},
      {"SELECT CASE WHEN " + chain("1=1", " AND 1=1", 60000) + " THEN 'yes' END", "yes", 0},
      {"SELECT count(*) FROM chain_t WHERE " + chain("x=-1", " OR x=-1", 200000) + " OR x=7", "1",
       0},
      {"SELECT count(*) FROM chain_t WHERE x IN (" + list + ")", "2", 0},
      {"SELECT count(*) FROM chain_t WHERE x NOT IN (" + list + ")", "1", 0},
      {"SELECT " + chain("1", "^0", 60000), "", 191},
      {"SELECT 1 WHERE " + std::string(3000, '(') + "1=1" + std::string(3000, ')'), "", 191},
  };
  for (const Case& c : cases) {
    // Processor time, not wall time: a loaded machine must not fail the test.
    std::clock_t started = std::clock();
    auto r = run(*s, c.sql);
    std::string what = c.sql.substr(0, 60);
    EXPECT_LT(std::clock() - started, 20 * CLOCKS_PER_SEC) << what;
    if (c.error) {
      ASSERT_EQ(r.errors().size(), 1u) << what;
      EXPECT_EQ(r.errors()[0].number, c.error) << what;
    } else {
      ASSERT_TRUE(r.errors().empty()) << what << ": " << r.errors()[0].text;
      ASSERT_EQ(r.results.size(), 1u) << what;
      ASSERT_EQ(r.results[0].rows.size(), 1u) << what;
      EXPECT_EQ(renderValue(r.results[0].rows[0][0], r.results[0].columns[0].type), c.value)
          << what;
    }
    EXPECT_EQ(run(*s, "SELECT 1").results.size(), 1u) << what;
  }
}

// The statement's DONE counts its own rows; the trigger's statements report
// theirs before it unless the trigger sets NOCOUNT, and the transaction the
// statement runs in is not announced.
TEST_F(SessionTest, TriggerStatementsCountApartFromTheStatement) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE TABLE trg_t (n int) CREATE TABLE trg_log (n int)").errors().empty());
  ASSERT_TRUE(run(*s,
                  "CREATE TRIGGER trg_t_ins ON trg_t AFTER INSERT AS "
                  "INSERT trg_log SELECT n FROM inserted UNION ALL SELECT 0")
                  .errors()
                  .empty());
  auto r = run(*s, "INSERT trg_t VALUES (1), (2), (3)");
  ASSERT_TRUE(r.errors().empty());
  ASSERT_EQ(r.dones.size(), 2u);
  EXPECT_EQ(r.dones[0].kind, Done::Kind::DoneInProc);
  EXPECT_EQ(r.dones[0].rowCount, 4u);
  EXPECT_EQ(r.dones[1].kind, Done::Kind::Done);
  EXPECT_TRUE(r.dones[1].countValid);
  EXPECT_EQ(r.dones[1].rowCount, 3u);
  EXPECT_TRUE(r.transactions.empty());

  ASSERT_TRUE(run(*s,
                  "ALTER TRIGGER trg_t_ins ON trg_t AFTER INSERT AS SET NOCOUNT ON "
                  "INSERT trg_log SELECT n FROM inserted")
                  .errors()
                  .empty());
  r = run(*s, "INSERT trg_t VALUES (4) SELECT @@OPTIONS & 512");
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(renderValue(r.results[0].rows[0][0], r.results[0].columns[0].type), "0");
  ASSERT_FALSE(r.dones.empty());
  for (const Done& d : r.dones) {
    if (d.kind == Done::Kind::DoneInProc) {
      EXPECT_FALSE(d.countValid);
    }
  }
  EXPECT_EQ(r.dones[r.dones.size() - 2].rowCount, 1u);

  // A client's own transaction is announced as before.
  r = run(*s, "BEGIN TRAN INSERT trg_t VALUES (5) ROLLBACK");
  EXPECT_EQ(r.transactions.size(), 2u);
}

// The rows a bulk load's client sends: an int column n counting down from
// `count` to 1 and, when asked, a binary(8) column ts holding 0x...01.
class BulkRows : public BulkRowReader {
 public:
  BulkRows(int count, bool withStamp) : left_(count), withStamp_(withStamp) {
    columns_.push_back(column("n", SqlType::Int, 4));
    if (withStamp) columns_.push_back(column("ts", SqlType::Binary, 8));
  }
  const std::vector<Column>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override {
    if (left_ == 0) return false;
    row = {Value(static_cast<std::int64_t>(left_--))};
    if (withStamp_) row.emplace_back(BytesValue{std::string(7, '\0') + '\x01'});
    return true;
  }

 private:
  static Column column(const char* name, SqlType type, int length) {
    Column c;
    c.name = name;
    c.type.type = type;
    c.type.length = length;
    return c;
  }
  int left_;
  bool withStamp_;
  std::vector<Column> columns_;
};

// Bulk loads fire no triggers unless the INSERT BULK asks for FIRE_TRIGGERS.
TEST_F(SessionTest, BulkLoadFiresTriggersOnlyWhenAsked) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE TABLE bulk_t (n int) CREATE TABLE bulk_log (rows_seen int)")
                  .errors()
                  .empty());
  ASSERT_TRUE(run(*s,
                  "CREATE TRIGGER bulk_t_ins ON bulk_t AFTER INSERT AS "
                  "INSERT bulk_log SELECT count(*) FROM inserted")
                  .errors()
                  .empty());
  // The rows come as 3, 2, 1: an ORDER hint they break fails the load whole.
  const std::pair<const char*, int> loads[] = {
      {"INSERT BULK bulk_t (n int)", 0},
      {"INSERT BULK bulk_t (n int) WITH (FIRE_TRIGGERS)", 0},
      {"INSERT BULK bulk_t (n int) WITH (ORDER (n DESC))", 0},
      {"INSERT BULK bulk_t (n int) WITH (ORDER (n ASC), FIRE_TRIGGERS)", 4819},
      {"INSERT BULK bulk_t (n int) WITH (ORDER (n))", 4819}};
  for (const auto& [insert, error] : loads) {
    ASSERT_TRUE(run(*s, insert).errors().empty()) << insert;
    ASSERT_EQ(s->bulkWait(), BulkWait::Rows);
    BulkRows rows(3, false);
    RecordingSink sink;
    CancelFlag cancel;
    s->bulkRows(rows, sink, cancel);
    auto errors = sink.errors();
    EXPECT_EQ(errors.empty() ? 0 : errors[0].number, error) << insert;
    ASSERT_FALSE(sink.dones.empty());
    EXPECT_EQ(sink.dones.back().rowCount, error ? 0u : 3u);
  }
  EXPECT_EQ(run(*s, "INSERT BULK bulk_t (n int) WITH (ORDER (nope))").errors().at(0).number, 207);
  auto r = run(*s, "SELECT count(*) FROM bulk_t SELECT rows_seen FROM bulk_log");
  ASSERT_EQ(r.results.size(), 2u);
  EXPECT_EQ(renderValue(r.results[0].rows[0][0], r.results[0].columns[0].type), "9");
  ASSERT_EQ(r.results[1].rows.size(), 1u);
  EXPECT_EQ(renderValue(r.results[1].rows[0][0], r.results[1].columns[0].type), "3");
}

// A bulk load's rows take the database's next timestamps, whatever the
// client sends for the timestamp column or when it sends none.
TEST_F(SessionTest, BulkLoadStampsTimestampColumn) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE TABLE bulk_ts (n int, ts timestamp)").errors().empty());
  for (const char* insert :
       {"INSERT BULK bulk_ts (n int, ts binary(8))", "INSERT BULK bulk_ts (n int)"}) {
    ASSERT_TRUE(run(*s, insert).errors().empty()) << insert;
    ASSERT_EQ(s->bulkWait(), BulkWait::Rows);
    BulkRows rows(2, std::string(insert).find("ts binary") != std::string::npos);
    RecordingSink sink;
    CancelFlag cancel;
    s->bulkRows(rows, sink, cancel);
    EXPECT_TRUE(sink.errors().empty()) << insert;
  }
  auto r = run(*s,
               "SELECT count(DISTINCT ts), count(ts), sum(CASE WHEN ts = 0x0000000000000001 "
               "THEN 1 ELSE 0 END) FROM bulk_ts");
  ASSERT_EQ(r.results.size(), 1u);
  const auto& row = r.results[0].rows.at(0);
  EXPECT_EQ(renderValue(row[0], r.results[0].columns[0].type), "4");
  EXPECT_EQ(renderValue(row[1], r.results[0].columns[1].type), "4");
  EXPECT_EQ(renderValue(row[2], r.results[0].columns[2].type), "0");
}

// A bulk load asks for each varchar column's text in its target column's
// code page, and keeps the text whole there.
TEST_F(SessionTest, BulkLoadReadsTextInTheTargetColumnsCodePage) {
  struct TextRows : BulkRowReader {
    std::vector<Column> cols;
    std::vector<std::pair<std::size_t, int>> asked;
    bool sent = false;
    const std::vector<Column>& columns() const override { return cols; }
    bool next(std::vector<Value>& row) override {
      if (std::exchange(sent, true)) return false;
      row = {Value(std::int64_t{1}), Value(std::string("カタカナ")), Value(std::string("Ж"))};
      return true;
    }
    void readTextAs(std::size_t column, int codePage) override {
      asked.emplace_back(column, codePage);
    }
  } rows;
  for (auto [name, type, length] :
       {std::tuple{"i", SqlType::Int, 4}, std::tuple{"v", SqlType::VarChar, 8},
        std::tuple{"n", SqlType::NVarChar, 8}}) {
    Column c;
    c.name = name;
    c.type.type = type;
    c.type.length = length;
    rows.cols.push_back(c);
  }
  auto s = open();
  ASSERT_TRUE(
      run(*s, "CREATE TABLE bulk_jp (i int, v varchar(8) COLLATE Japanese_CI_AS, n nvarchar(4))")
          .errors()
          .empty());
  ASSERT_TRUE(run(*s, "INSERT BULK bulk_jp (i int, v varchar(8), n nvarchar(4))").errors().empty());
  RecordingSink sink;
  CancelFlag cancel;
  s->bulkRows(rows, sink, cancel);
  EXPECT_TRUE(sink.errors().empty());
  EXPECT_EQ(rows.asked, (std::vector<std::pair<std::size_t, int>>{{1, 932}}));
  auto r = run(*s, "SELECT v, DATALENGTH(v), n FROM bulk_jp");
  ASSERT_EQ(r.results.size(), 1u);
  const auto& row = r.results[0].rows.at(0);
  EXPECT_EQ(renderValue(row[0], r.results[0].columns[0].type), "カタカナ");
  EXPECT_EQ(renderValue(row[1], r.results[0].columns[1].type), "8");
  EXPECT_EQ(renderValue(row[2], r.results[0].columns[2].type), "Ж");
}

// Every SELECT that sends rows reports how many in its DONE, whatever its form.
TEST_F(SessionTest, EverySelectReportsItsRowCount) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE TABLE cnt (n int) INSERT cnt VALUES (3), (1), (2), (5), (4)")
                  .errors()
                  .empty());
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"SELECT TOP 2 n FROM cnt ORDER BY n", 2},
      {"SELECT TOP 3 n FROM cnt ORDER BY n DESC", 3},
      {"SELECT TOP 40 PERCENT n FROM cnt ORDER BY n", 2},
      {"SELECT TOP 10 n FROM cnt ORDER BY n", 5},
      {"SELECT n FROM cnt ORDER BY n", 5},
      {"SELECT DISTINCT TOP 2 n FROM cnt ORDER BY n", 2},
      {"SELECT n FROM cnt UNION SELECT 9 ORDER BY n", 6},
      {"SELECT TOP 1 * FROM (SELECT TOP 3 n FROM cnt ORDER BY n) d ORDER BY n DESC", 1},
      {"DECLARE @k int SET @k = 2 SELECT TOP (@k) n FROM cnt ORDER BY n", 2},
      {"SELECT TOP 1 WITH TIES n FROM cnt ORDER BY n", 1},
      {"EXEC sp_executesql N'SELECT TOP 2 n FROM cnt ORDER BY n'", 2},
      {"SELECT TOP 2 n FROM cnt ORDER BY n FOR BROWSE", 2},
  };
  for (const auto& [sql, rows] : cases) {
    auto r = run(*s, sql);
    ASSERT_TRUE(r.errors().empty()) << sql;
    ASSERT_EQ(r.results.size(), 1u) << sql;
    EXPECT_EQ(r.results[0].rows.size(), rows) << sql;
    // The DONE (or DONEINPROC) right after the rows counts them.
    bool found = false;
    for (const Done& d : r.dones) {
      if (d.countValid && d.rowCount == rows) found = true;
    }
    EXPECT_TRUE(found) << sql;
  }
}

TEST_F(SessionTest, RaiserrorMarksTheBatchFailed) {
  auto s = open();
  auto r = run(*s, "RAISERROR('', 16, 1)");
  ASSERT_EQ(r.errors().size(), 1u);
  EXPECT_EQ(r.errors()[0].number, 50000);
  ASSERT_FALSE(r.dones.empty());
  EXPECT_TRUE(r.dones.back().error);
  auto info = run(*s, "RAISERROR('note', 10, 1)");
  EXPECT_FALSE(info.dones.back().error);
}

// The Done tokens of a request as "DIP! DIP DP!": DONE, DONEINPROC or
// DONEPROC, "!" where the error flag is set.
std::string doneTrail(const RecordingSink& sink) {
  std::string out;
  for (const Done& d : sink.dones) {
    out += out.empty() ? "" : " ";
    out += d.kind == Done::Kind::Done ? "D" : d.kind == Done::Kind::DoneInProc ? "DIP" : "DP";
    if (d.error) out += "!";
  }
  return out;
}

// Clients decide that a request failed by the error flag of its Done tokens:
// the statement that raised the error closes with it, in a batch, in a
// procedure (and the procedure's DONEPROC too), in a nested procedure and in
// a trigger, over RPC as well. An error caught by CATCH sets none.
TEST_F(SessionTest, ErrorsSetTheErrorFlagOfTheirDone) {
  auto s = open();
  ASSERT_TRUE(run(*s,
                  "CREATE TABLE pe_t (n int NOT NULL) CREATE TABLE pe_trg (n int) "
                  "EXEC('CREATE PROCEDURE pe_raise AS RAISERROR(''r'', 16, 1) SELECT 1') "
                  "EXEC('CREATE PROCEDURE pe_fail AS INSERT pe_t VALUES (NULL) SELECT 2') "
                  "EXEC('CREATE PROCEDURE pe_outer AS EXEC pe_raise SELECT 3') "
                  "EXEC('CREATE PROCEDURE pe_catch AS BEGIN TRY RAISERROR(''r'', 16, 1) END TRY "
                  "BEGIN CATCH SELECT 4 END CATCH') "
                  "EXEC('CREATE PROCEDURE pe_abort AS SELECT CAST(''x'' AS int) SELECT 5') "
                  "EXEC('CREATE PROCEDURE pe_nest_abort AS EXEC pe_abort SELECT 6') "
                  "EXEC('CREATE TRIGGER pe_trg_ins ON pe_trg AFTER INSERT AS "
                  "RAISERROR(''t'', 16, 1)')")
                  .errors()
                  .empty());
  const std::pair<const char*, const char*> batches[] = {
      {"RAISERROR('r', 16, 1) SELECT 1", "D! D"},
      {"RAISERROR('note', 10, 1) SELECT 1", "D"},
      {"EXEC pe_raise", "DIP! DIP DP!"},
      {"EXEC pe_fail", "DIP! DIP DP!"},
      {"EXEC pe_outer", "DIP! DIP DP! DIP DP!"},
      {"INSERT pe_trg VALUES (1) SELECT 7", "DIP! D D"},
      {"EXEC pe_catch", "DIP DP"},
      {"BEGIN TRY EXEC pe_raise END TRY BEGIN CATCH SELECT 8 END CATCH", "DP D"},
      // The batch ends inside the procedures; each call still ends with DONEPROC.
      {"EXEC pe_abort SELECT 9", "DIP! DP!"},
      {"EXEC pe_nest_abort", "DIP! DP! DP!"},
      {"EXEC sp_executesql N'RAISERROR(''r'', 16, 1) SELECT 1'", "DIP! DIP DP!"},
  };
  for (const auto& [sql, trail] : batches) {
    auto r = run(*s, sql);
    EXPECT_EQ(doneTrail(r), trail) << sql;
    ASSERT_FALSE(r.dones.empty()) << sql;
    EXPECT_FALSE(r.dones.back().more) << sql;
  }

  RpcParam stmt;
  stmt.type = TypeInfo{SqlType::NVarChar, 100};
  stmt.value = Value(std::string("RAISERROR('r', 16, 1) SELECT 1"));
  const std::pair<RpcRequest, const char*> calls[] = {
      {RpcRequest{"pe_raise", false, false, {}}, "DIP! DIP DP!"},
      {RpcRequest{"sp_executesql", false, false, {stmt}}, "DIP! DIP DP!"},
      {RpcRequest{"pe_catch", false, false, {}}, "DIP DP"},
  };
  for (const auto& [call, trail] : calls) {
    RecordingSink sink;
    CancelFlag cancel;
    s->executeRpc(call, sink, cancel);
    EXPECT_EQ(doneTrail(sink), trail) << call.procName;
  }
}

TEST_F(SessionTest, KillEndsAnotherSession) {
  LoginInfo login;
  Message error;
  login.spid = 60;
  auto victim = engine_->openSession(login, error);
  login.spid = 61;
  auto killer = engine_->openSession(login, error);
  ASSERT_TRUE(victim && killer);
  EXPECT_FALSE(victim->terminated());
  EXPECT_TRUE(run(*killer, "KILL 60").errors().empty());
  EXPECT_TRUE(victim->terminated());
  EXPECT_TRUE(run(*victim, "SELECT 1").results.empty());
  EXPECT_EQ(run(*killer, "KILL 61").errors().at(0).number, 6104);
  EXPECT_EQ(run(*killer, "KILL 999").errors().at(0).number, 6106);
}

TEST_F(SessionTest, SessionViewsListEverySessionWithItsLogin) {
  LoginInfo login;
  Message error;
  login.user = "first";
  login.appName = "app one";
  login.spid = 70;
  auto a = engine_->openSession(login, error);
  login.user = "second";
  login.hostName = "far";
  login.spid = 71;
  login.clientAddress = "10.0.0.7";
  login.clientPort = 4711;
  auto b = engine_->openSession(login, error);
  ASSERT_TRUE(a && b);
  auto r = run(*a,
               "SELECT session_id, login_name, host_name, program_name, status "
               "FROM sys.dm_exec_sessions ORDER BY session_id "
               "SELECT session_id, net_transport, client_net_address, client_tcp_port "
               "FROM sys.dm_exec_connections WHERE session_id = 71");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  ASSERT_EQ(r.results.size(), 2u);
  ASSERT_EQ(r.results[0].rows.size(), 2u);
  auto cell = [&](std::size_t set, std::size_t row, std::size_t col) {
    return renderValue(r.results[set].rows[row][col], r.results[set].columns[col].type);
  };
  EXPECT_EQ(cell(0, 0, 1), "first");
  EXPECT_EQ(cell(0, 0, 3), "app one");
  EXPECT_EQ(cell(0, 0, 4), "running");
  EXPECT_EQ(cell(0, 1, 1), "second");
  EXPECT_EQ(cell(0, 1, 2), "far");
  EXPECT_EQ(cell(0, 1, 4), "sleeping");
  EXPECT_EQ(cell(1, 0, 1), "TCP");
  EXPECT_EQ(cell(1, 0, 2), "10.0.0.7");
  EXPECT_EQ(cell(1, 0, 3), "4711");
  // A closed session leaves the list.
  b.reset();
  EXPECT_EQ(run(*a, "SELECT session_id FROM sys.dm_exec_sessions").results.at(0).rows.size(), 1u);
}

TEST_F(SessionTest, SpHelpReturnsStatusZeroAndOneForAnUnknownObject) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE TABLE helped (id int NOT NULL, v varchar(3) NULL)").errors().empty());
  auto all = run(*s, "EXEC sp_help");
  EXPECT_TRUE(all.errors().empty());
  ASSERT_EQ(all.statuses.size(), 1u);
  EXPECT_EQ(all.statuses[0], 0);
  auto one = run(*s, "EXEC sp_help helped");
  ASSERT_EQ(one.statuses.size(), 1u);
  EXPECT_EQ(one.statuses[0], 0);
  ASSERT_EQ(one.results.size(), 2u);
  EXPECT_EQ(one.results[1].rows.size(), 2u);  // a row per column
  auto none = run(*s, "EXEC sp_help 'nothing'");
  ASSERT_EQ(none.statuses.size(), 1u);
  EXPECT_EQ(none.statuses[0], 1);
  EXPECT_EQ(none.errors().at(0).number, 15009);
}

TEST_F(SessionTest, TemporaryObjectsBelongToTheirSession) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(run(*a, "CREATE TABLE #t (v int) CREATE PROCEDURE #p AS SELECT 1").errors().empty());
  EXPECT_TRUE(run(*a, "SELECT * FROM #t EXEC #p").errors().empty());
  auto other = run(*b, "SELECT * FROM #t");
  ASSERT_EQ(other.errors().size(), 1u);
  EXPECT_EQ(other.errors()[0].number, 208);
  EXPECT_EQ(run(*b, "EXEC #p").errors().at(0).number, 2812);
  // Each session may have its own #t.
  EXPECT_TRUE(run(*b, "CREATE TABLE #t (w varchar(3))").errors().empty());
}

TEST_F(SessionTest, TablesCreatedElsewhereAreSeenAtTheNextRequest) {
  auto a = open();
  auto b = open();
  EXPECT_EQ(run(*b, "SELECT * FROM shared_t").errors().at(0).number, 208);
  ASSERT_TRUE(run(*a, "CREATE TABLE shared_t (v int) INSERT shared_t VALUES (5)").errors().empty());
  auto seen = run(*b, "SELECT v FROM shared_t");
  ASSERT_TRUE(seen.errors().empty());
  EXPECT_EQ(std::get<std::int64_t>(seen.results.at(0).rows.at(0)[0].data()), 5);
}

TEST_F(SessionTest, UseReportsTheChangeAndTheSessionRemembersIt) {
  auto s = open();
  auto r = run(*s, "CREATE DATABASE other USE other");
  ASSERT_TRUE(r.errors().empty());
  EXPECT_EQ(r.database, "other");
  EXPECT_EQ(s->currentDatabase(), "other");
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(r.messages.back().number, 5701);
  EXPECT_EQ(r.messages.back().severity, 0);
  LoginInfo login;
  login.database = "OTHER";
  Message error;
  auto direct = engine_->openSession(login, error);
  ASSERT_TRUE(direct) << error.text;
  EXPECT_EQ(direct->currentDatabase(), "other");
}

TEST_F(SessionTest, DonesCarryCountsAndTheLastOneEndsTheRequest) {
  auto s = open();
  auto r = run(
      *s, "CREATE TABLE t (v int) INSERT t VALUES (1) INSERT t SELECT v FROM t SELECT * FROM t");
  ASSERT_EQ(r.dones.size(), 4u);
  for (std::size_t i = 0; i + 1 < r.dones.size(); ++i) EXPECT_TRUE(r.dones[i].more);
  EXPECT_FALSE(r.dones.back().more);
  EXPECT_EQ(r.dones[1].rowCount, 1u);
  EXPECT_TRUE(r.dones[1].countValid);
  EXPECT_EQ(r.dones[2].rowCount, 1u);
  EXPECT_EQ(r.dones[3].rowCount, 2u);
  EXPECT_EQ(r.dones[3].curCmd, 0xC1);
  auto quiet = run(*s, "SET NOCOUNT ON SELECT * FROM t");
  EXPECT_FALSE(quiet.dones.back().countValid);
  auto proc = run(*s, "SET NOCOUNT OFF EXEC ('SELECT 1')");
  EXPECT_FALSE(proc.dones.back().more);
}

TEST_F(SessionTest, UnknownLoginDatabaseFailsWith4060) {
  LoginInfo login;
  login.database = "nosuch";
  Message error;
  EXPECT_FALSE(engine_->openSession(login, error));
  EXPECT_EQ(error.number, 4060);
  login.database = "../etc";
  EXPECT_FALSE(engine_->openSession(login, error));
  EXPECT_EQ(error.number, 4060);
}

TEST_F(SessionTest, OtherSessionsSeeOnlyCommittedRows) {
  auto a = open();
  auto b = open();
  ASSERT_TRUE(run(*a, "CREATE TABLE t (v int NOT NULL)").errors().empty());
  auto begin = run(*a, "BEGIN TRAN INSERT t VALUES (1)");
  ASSERT_TRUE(begin.errors().empty());
  EXPECT_NE(a->transactionDescriptor(), 0u);
  auto seen = run(*b, "SELECT count(*) FROM t");
  ASSERT_EQ(seen.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(seen.results[0].rows[0][0].data()), 0);
  run(*a, "COMMIT");
  EXPECT_EQ(a->transactionDescriptor(), 0u);
  seen = run(*b, "SELECT count(*) FROM t");
  EXPECT_EQ(std::get<std::int64_t>(seen.results[0].rows[0][0].data()), 1);
}

TEST_F(SessionTest, TransactionsReadCommittedRowsOfOthers) {
  auto a = open();
  auto b = open();
  run(*a, "CREATE TABLE t (v int NOT NULL)");
  auto first = run(*a, "BEGIN TRAN SELECT count(*) FROM t");
  EXPECT_EQ(std::get<std::int64_t>(first.results.at(0).rows.at(0)[0].data()), 0);
  ASSERT_TRUE(run(*b, "INSERT t VALUES (1)").errors().empty());
  // Still in its transaction, the first session sees the committed row and
  // can write after it.
  auto second = run(*a, "SELECT count(*) FROM t INSERT t VALUES (2) SELECT @@TRANCOUNT");
  ASSERT_TRUE(second.errors().empty()) << second.errors()[0].text;
  EXPECT_EQ(std::get<std::int64_t>(second.results.at(0).rows.at(0)[0].data()), 1);
  EXPECT_EQ(std::get<std::int64_t>(second.results.at(1).rows.at(0)[0].data()), 1);
  run(*a, "COMMIT");
  auto all = run(*b, "SELECT count(*) FROM t");
  EXPECT_EQ(std::get<std::int64_t>(all.results.at(0).rows.at(0)[0].data()), 2);
}

TEST_F(SessionTest, WriterTimesOutWith1222AndSucceedsAfterCommit) {
  auto a = open();
  auto b = open();
  run(*a, "CREATE TABLE t (v int NOT NULL)");
  run(*a, "BEGIN TRAN INSERT t VALUES (1)");
  auto start = std::chrono::steady_clock::now();
  auto blocked = run(*b, "SET LOCK_TIMEOUT 200 INSERT t VALUES (2) SELECT 'after'");
  auto waited = std::chrono::steady_clock::now() - start;
  auto errors = blocked.errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].number, 1222);
  EXPECT_EQ(errors[0].text, "Lock request time out period exceeded.");
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  // The time-out ends only the statement: the batch goes on.
  ASSERT_EQ(blocked.results.size(), 1u);
  run(*a, "COMMIT");
  auto retry = run(*b, "INSERT t VALUES (2) SELECT count(*) FROM t");
  EXPECT_TRUE(retry.errors().empty());
  EXPECT_EQ(std::get<std::int64_t>(retry.results[0].rows[0][0].data()), 2);
}

TEST_F(SessionTest, WriterWaitsForAnotherWriter) {
  auto a = open();
  auto b = open();
  run(*a, "CREATE TABLE t (v int NOT NULL)");
  run(*a, "BEGIN TRAN INSERT t VALUES (1)");
  std::thread committer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run(*a, "COMMIT");
  });
  auto waited = run(*b, "SET LOCK_TIMEOUT -1 INSERT t VALUES (2)");
  committer.join();
  EXPECT_TRUE(waited.errors().empty());
  auto count = run(*b, "SELECT count(*) FROM t");
  EXPECT_EQ(std::get<std::int64_t>(count.results[0].rows[0][0].data()), 2);
}

TEST_F(SessionTest, CancelStopsWaitforQuickly) {
  auto s = open();
  RecordingSink sink;
  CancelFlag cancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.request();
  });
  auto start = std::chrono::steady_clock::now();
  s->executeBatch("WAITFOR DELAY '00:00:30' SELECT 1", sink, cancel);
  auto took = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_TRUE(sink.results.empty());
  // The session serves the next request normally.
  auto next = run(*s, "SELECT 2");
  EXPECT_EQ(next.results.size(), 1u);
}

// Counts rows as they arrive and cancels part-way: proof that rows stream
// before the statement has finished.
class CancellingSink : public RecordingSink {
 public:
  CancellingSink(CancelFlag& cancel, std::size_t after) : cancel_(cancel), after_(after) {
    keepRows = false;
  }
  void row(std::span<const Value> values) override {
    RecordingSink::row(values);
    if (rowCount == after_) cancel_.request();
  }

 private:
  CancelFlag& cancel_;
  std::size_t after_;
};

TEST_F(SessionTest, LargeSelectStreamsAndCancelsBetweenRows) {
  auto s = open();
  auto fill =
      run(*s,
          "CREATE TABLE big (id int NOT NULL, name varchar(30) NULL, at datetime NULL, "
          "price money NULL, f float NULL)\n"
          "SET NOCOUNT ON\n"
          "DECLARE @i int SET @i = 0\n"
          "WHILE @i < 200 BEGIN INSERT big VALUES (@i, 'name', GETDATE(), $1.5, 0.5) "
          "SET @i = @i + 1 END\n"
          "INSERT big SELECT a.id + b.id * 200, a.name, a.at, a.price, a.f FROM big a, big b "
          "WHERE b.id BETWEEN 1 AND 199");
  ASSERT_TRUE(fill.errors().empty()) << fill.errors()[0].text;
  RecordingSink all;
  all.keepRows = false;
  CancelFlag none;
  s->executeBatch("SELECT * FROM big", all, none);
  EXPECT_EQ(all.rowCount, 40000u);
  ASSERT_FALSE(all.dones.empty());
  EXPECT_EQ(all.dones.back().rowCount, 40000u);

  CancelFlag cancel;
  CancellingSink partial(cancel, 100);
  s->executeBatch("SELECT * FROM big", partial, cancel);
  EXPECT_EQ(partial.rowCount, 100u);
}

TEST_F(SessionTest, RpcCallsProcedureWithOutputParameter) {
  auto s = open();
  ASSERT_TRUE(
      run(*s, "CREATE PROCEDURE p @a int, @b int OUTPUT AS SET @b = @a * 2 SELECT @a RETURN 3")
          .errors()
          .empty());
  RpcRequest req;
  req.procName = "p";
  RpcParam a;
  a.name = "@a";
  a.type.type = SqlType::Int;
  a.value = Value(std::int64_t{21});
  RpcParam b;
  b.name = "@b";
  b.type.type = SqlType::Int;
  b.output = true;
  req.params = {a, b};
  RecordingSink sink;
  CancelFlag cancel;
  s->executeRpc(req, sink, cancel);
  EXPECT_TRUE(sink.errors().empty());
  ASSERT_EQ(sink.results.size(), 1u);
  ASSERT_EQ(sink.statuses.size(), 1u);
  EXPECT_EQ(sink.statuses[0], 3);
  ASSERT_EQ(sink.returnValues.size(), 1u);
  EXPECT_EQ(sink.returnValues[0].name, "@b");
  EXPECT_EQ(sink.returnValues[0].ordinal, 1);
  EXPECT_EQ(std::get<std::int64_t>(sink.returnValues[0].value.data()), 42);
  ASSERT_FALSE(sink.dones.empty());
  EXPECT_EQ(sink.dones.back().kind, Done::Kind::DoneProc);
  EXPECT_FALSE(sink.dones.back().more);
}

TEST_F(SessionTest, RpcOutputParameterComesBackInCallersType) {
  auto s = open();
  ASSERT_TRUE(run(*s, "CREATE PROCEDURE setflag @f int OUTPUT AS SET @f = 9").errors().empty());
  RpcRequest req;
  req.procName = "setflag";
  RpcParam f;
  f.name = "@f";
  f.type.type = SqlType::Bit;
  f.type.length = 1;
  f.value = Value(std::int64_t{0});
  f.output = true;
  req.params = {f};
  RecordingSink sink;
  CancelFlag cancel;
  s->executeRpc(req, sink, cancel);
  EXPECT_TRUE(sink.errors().empty());
  ASSERT_EQ(sink.returnValues.size(), 1u);
  EXPECT_EQ(sink.returnValues[0].column.type.type, SqlType::Bit);
  EXPECT_EQ(std::get<std::int64_t>(sink.returnValues[0].value.data()), 1);

  // DEFAULT for the value: the procedure's default is used, and the result
  // still goes back in the declared types (bit, varchar(5) cuts the text).
  ASSERT_TRUE(run(*s,
                  "CREATE PROCEDURE withdefaults @n int = 8 OUTPUT, @t varchar(max) = 'defstr' "
                  "OUTPUT AS SET @n = @n + 1 SET @t = @t + '1'")
                  .errors()
                  .empty());
  RpcRequest byDefault;
  byDefault.procName = "withdefaults";
  RpcParam n;
  n.name = "@n";
  n.type = TypeInfo{SqlType::Bit, 1};
  n.output = true;
  n.byDefault = true;
  RpcParam t;
  t.name = "@t";
  t.type = TypeInfo{SqlType::VarChar, 5};
  t.output = true;
  t.byDefault = true;
  byDefault.params = {n, t};
  RecordingSink defaults;
  s->executeRpc(byDefault, defaults, cancel);
  EXPECT_TRUE(defaults.errors().empty());
  ASSERT_EQ(defaults.returnValues.size(), 2u);
  EXPECT_EQ(defaults.returnValues[0].column.type.type, SqlType::Bit);
  EXPECT_EQ(std::get<std::int64_t>(defaults.returnValues[0].value.data()), 1);
  EXPECT_EQ(defaults.returnValues[1].column.type.length, 5);
  EXPECT_EQ(std::get<std::string>(defaults.returnValues[1].value.data()), "defst");
}

TEST_F(SessionTest, RpcSpExecuteSqlAndUnknownProcedure) {
  auto s = open();
  RpcRequest req;
  req.procName = "sp_executesql";
  RpcParam stmt;
  stmt.type = TypeInfo{SqlType::NVarChar, 100};
  stmt.value = Value(std::string("SELECT @x + 1"));
  RpcParam decl;
  decl.type = TypeInfo{SqlType::NVarChar, 100};
  decl.value = Value(std::string("@x int"));
  RpcParam x;
  x.name = "@x";
  x.type.type = SqlType::Int;
  x.value = Value(std::int64_t{41});
  req.params = {stmt, decl, x};
  RecordingSink sink;
  CancelFlag cancel;
  s->executeRpc(req, sink, cancel);
  ASSERT_EQ(sink.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[0].rows[0][0].data()), 42);

  RpcRequest missing;
  missing.procName = "nosuch";
  RecordingSink err;
  s->executeRpc(missing, err, cancel);
  ASSERT_EQ(err.errors().size(), 1u);
  EXPECT_EQ(err.errors()[0].number, 2812);
  EXPECT_FALSE(err.dones.back().more);

  // A procedure name with its schema finds that schema's procedure only.
  ASSERT_TRUE(run(*s, "CREATE SCHEMA s").errors().empty());
  ASSERT_TRUE(run(*s, "CREATE PROCEDURE s.p AS SELECT 's'").errors().empty());
  for (const char* name : {"s.p", "[s].[p]", "tessel.s.p", "dbo.p"}) {
    RpcRequest call;
    call.procName = name;
    RecordingSink out;
    s->executeRpc(call, out, cancel);
    const bool dbo = std::string_view(name) == "dbo.p";
    EXPECT_EQ(out.errors().empty(), !dbo) << name;
    EXPECT_EQ(out.results.size(), dbo ? 0u : 1u) << name;
  }
}

TEST_F(SessionTest, RpcPreparedStatementsReturnTheirHandleAndRunAgain) {
  auto s = open();
  CancelFlag cancel;
  auto text = [](const char* v) {
    RpcParam p;
    p.type = TypeInfo{SqlType::NVarChar, 200};
    p.value = Value(std::string(v));
    return p;
  };
  auto integer = [](std::int64_t v) {
    RpcParam p;
    p.type.type = SqlType::Int;
    p.value = Value(v);
    return p;
  };
  RpcRequest prep;
  prep.procName = "sp_prepexec";
  RpcParam handle;
  handle.name = "@handle";
  handle.type.type = SqlType::Int;
  handle.output = true;
  prep.params = {handle, text("@a int"), text("SELECT @a * 3"), integer(5)};
  RecordingSink first;
  s->executeRpc(prep, first, cancel);
  ASSERT_TRUE(first.errors().empty());
  ASSERT_EQ(first.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(first.results[0].rows[0][0].data()), 15);
  ASSERT_EQ(first.returnValues.size(), 1u);
  const auto h = std::get<std::int64_t>(first.returnValues[0].value.data());

  RpcRequest exec;
  exec.procName = "sp_execute";
  exec.params = {integer(h), integer(7)};
  RecordingSink second;
  s->executeRpc(exec, second, cancel);
  ASSERT_EQ(second.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(second.results[0].rows[0][0].data()), 21);

  RpcRequest unprep;
  unprep.procName = "sp_unprepare";
  unprep.params = {integer(h)};
  RecordingSink third;
  s->executeRpc(unprep, third, cancel);
  EXPECT_TRUE(third.errors().empty());
  RecordingSink gone;
  s->executeRpc(exec, gone, cancel);
  ASSERT_EQ(gone.errors().size(), 1u);
  EXPECT_EQ(gone.errors()[0].number, 8179);
  // Handles are the session's own.
  auto other = open();
  RecordingSink elsewhere;
  exec.params = {integer(h), integer(1)};
  other->executeRpc(exec, elsewhere, cancel);
  ASSERT_EQ(elsewhere.errors().size(), 1u);
}

TEST_F(SessionTest, TransactionRequestsReportDescriptors) {
  auto s = open();
  RecordingSink sink;
  s->transaction(Session::TransactionRequest::Begin, {}, sink);
  EXPECT_NE(s->transactionDescriptor(), 0u);
  auto count = run(*s, "SELECT @@TRANCOUNT");
  EXPECT_EQ(std::get<std::int64_t>(count.results[0].rows[0][0].data()), 1);
  RecordingSink end;
  s->transaction(Session::TransactionRequest::Rollback, {}, end);
  EXPECT_EQ(s->transactionDescriptor(), 0u);
  ASSERT_FALSE(end.dones.empty());
  EXPECT_FALSE(end.dones.back().more);
}

// Named requests behave as the statements: savepoints are rolled back to,
// the outermost transaction only by its exact name, anything else is 6401.
TEST_F(SessionTest, TransactionRequestsUseTheirNames) {
  using R = Session::TransactionRequest;
  struct Step {
    R request;
    const char* name;
    int error;         // 0 for none
    bool insertAfter;  // adds a row once the request has run
  };
  struct Case {
    std::vector<Step> steps;
    const char* rowsAndTrancount;  // after the steps
  };
  const std::vector<Case> cases = {
      {{{R::Save, "early", 628, false}, {R::Begin, "Outer", 0, true}, {R::Save, "sp", 0, false}},
       "2|1"},
      {{{R::Begin, "Outer", 0, false}, {R::Save, "sp", 0, true}, {R::Rollback, "sp", 0, false}},
       "1|1"},
      {{{R::Begin, "Outer", 0, true}, {R::Rollback, "outer", 6401, false}}, "2|1"},
      {{{R::Begin, "Outer", 0, true}, {R::Rollback, "Outer", 0, false}}, "1|0"},
      {{{R::Begin, "", 0, true}, {R::Commit, "any", 0, false}, {R::Commit, "", 3902, false}},
       "2|0"},
      {{{R::Rollback, "", 3903, false}, {R::Rollback, "sp", 3903, false}}, "1|0"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto s = open();
    run(*s, "CREATE TABLE #t (id int); INSERT #t VALUES (1)");
    for (const Step& step : cases[i].steps) {
      RecordingSink sink;
      s->transaction(step.request, step.name, sink);
      auto errors = sink.errors();
      EXPECT_EQ(errors.empty() ? 0 : errors[0].number, step.error) << i << " " << step.name;
      ASSERT_FALSE(sink.dones.empty());
      EXPECT_EQ(sink.dones.back().error, step.error != 0) << i;
      if (step.insertAfter) run(*s, "INSERT #t VALUES (2)");
    }
    auto r = run(*s, "SELECT count(*), @@TRANCOUNT FROM #t");
    ASSERT_EQ(r.results.size(), 1u);
    const auto& row = r.results[0].rows[0];
    EXPECT_EQ(std::to_string(std::get<std::int64_t>(row[0].data())) + "|" +
                  std::to_string(std::get<std::int64_t>(row[1].data())),
              cases[i].rowsAndTrancount)
        << i;
  }
}

TEST_F(SessionTest, DataDirectoryKeepsDatabasesAcrossEngines) {
  std::string dir = ::testing::TempDir() + "/tessel_engine_test_" + std::to_string(::getpid());
  {
    EngineOptions options;
    options.dataDirectory = dir;
    auto engine = createSqliteEngine(options);
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    RecordingSink sink;
    CancelFlag cancel;
    s->executeBatch(
        "CREATE DATABASE keep COLLATE Latin1_General_CS_AS USE keep CREATE TABLE k (v int) "
        "INSERT k VALUES (7)",
        sink, cancel);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    // A table of the same name in another schema is a table of its own.
    ASSERT_TRUE(run(*s, "CREATE SCHEMA s").errors().empty());
    ASSERT_TRUE(run(*s, "CREATE TABLE s.k (v int) INSERT s.k VALUES (8)").errors().empty());
  }
  EngineOptions options;
  options.dataDirectory = dir;
  auto engine = createSqliteEngine(options);
  auto s = openOn(*engine, "keep");
  ASSERT_TRUE(s);
  RecordingSink sink;
  CancelFlag cancel;
  s->executeBatch("SELECT v FROM k SELECT v FROM s.k SELECT CASE WHEN 'a' = 'A' THEN 1 ELSE 0 END",
                  sink, cancel);
  ASSERT_EQ(sink.results.size(), 3u);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[0].rows[0][0].data()), 7);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[1].rows[0][0].data()), 8);
  // The database keeps its collation (Latin1_General_CS_AS, id 65), which
  // the login announces and literals compare by.
  EXPECT_EQ(s->currentCollation(), 65);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[2].rows[0][0].data()), 0);
  std::filesystem::remove_all(dir);
}

// A sequence's counter lives in its database file: a new engine goes on
// after the last value handed out, also one a rolled-back transaction took
// (sequences are not transactional).
TEST_F(SessionTest, SequencesGoOnAcrossEnginesAfterRollbacks) {
  std::string dir = ::testing::TempDir() + "/tessel_sequence_test_" + std::to_string(::getpid());
  auto nextValue = [](Session& s) {
    RecordingSink sink;
    CancelFlag cancel;
    s.executeBatch("SELECT NEXT VALUE FOR counter", sink, cancel);
    EXPECT_TRUE(sink.errors().empty());
    return sink.results.empty() ? -1 : std::get<std::int64_t>(sink.results[0].rows[0][0].data());
  };
  {
    EngineOptions options;
    options.dataDirectory = dir;
    auto engine = createSqliteEngine(options);
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    RecordingSink sink;
    CancelFlag cancel;
    s->executeBatch(
        "CREATE DATABASE keep USE keep CREATE SEQUENCE counter AS int START WITH 10 "
        "CREATE SEQUENCE unused START WITH 5",
        sink, cancel);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    EXPECT_EQ(nextValue(*s), 10);
    RecordingSink rolled;
    s->executeBatch("BEGIN TRAN SELECT NEXT VALUE FOR counter ROLLBACK", rolled, cancel);
    ASSERT_TRUE(rolled.errors().empty());
    auto other = openOn(*engine, "keep");
    EXPECT_EQ(nextValue(*other), 12);
    RecordingSink failed;
    other->executeBatch(
        "BEGIN TRAN SELECT NEXT VALUE FOR counter SELECT NEXT VALUE FOR counter ROLLBACK", failed,
        cancel);
  }
  EngineOptions options;
  options.dataDirectory = dir;
  auto engine = createSqliteEngine(options);
  auto s = openOn(*engine, "keep");
  ASSERT_TRUE(s);
  EXPECT_EQ(nextValue(*s), 15);
  RecordingSink sink;
  CancelFlag cancel;
  s->executeBatch("SELECT current_value FROM sys.sequences WHERE name = 'unused'", sink, cancel);
  ASSERT_EQ(sink.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[0].rows[0][0].data()), 5);
  std::filesystem::remove_all(dir);
}

// Timestamps go on increasing across engines over one data directory, also
// past values a rolled-back transaction took.
TEST_F(SessionTest, TimestampsGoOnAcrossEnginesAfterRollbacks) {
  std::string dir = ::testing::TempDir() + "/tessel_dbts_test_" + std::to_string(::getpid());
  CancelFlag cancel;
  auto value = [&](Session& s, const char* sql) {
    RecordingSink sink;
    s.executeBatch(sql, sink, cancel);
    EXPECT_TRUE(sink.errors().empty()) << sql;
    return sink.results.empty() || sink.results.back().rows.empty()
               ? std::int64_t{-1}
               : std::get<std::int64_t>(sink.results.back().rows[0][0].data());
  };
  std::int64_t first = 0;
  {
    EngineOptions options;
    options.dataDirectory = dir;
    auto engine = createSqliteEngine(options);
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    value(*s, "CREATE DATABASE keep USE keep CREATE TABLE t (id int NULL, ts timestamp)");
    first = value(*s, "INSERT INTO t (id) VALUES (1) SELECT CAST(@@DBTS AS bigint)");
    value(*s, "BEGIN TRAN INSERT INTO t (id) VALUES (2) ROLLBACK");
    EXPECT_EQ(value(*s, "SELECT CAST(@@DBTS AS bigint)"), first + 1);
  }
  EngineOptions options;
  options.dataDirectory = dir;
  auto engine = createSqliteEngine(options);
  auto s = openOn(*engine, "keep");
  ASSERT_TRUE(s);
  EXPECT_EQ(value(*s, "SELECT CAST(@@DBTS AS bigint)"), first + 1);
  EXPECT_EQ(value(*s, "INSERT INTO t (id) VALUES (3) SELECT CAST(max(ts) AS bigint) FROM t"),
            first + 2);
  s.reset();
  engine.reset();
  std::filesystem::remove_all(dir);
}

TEST_F(SessionTest, LoginIntoTempdbSharesItsTables) {
  LoginInfo login;
  login.user = "sa";
  login.database = "tempdb";
  Message error;
  auto s = engine_->openSession(login, error);
  ASSERT_TRUE(s) << error.text;
  EXPECT_EQ(s->currentDatabase(), "tempdb");
  auto r = run(*s, "CREATE TABLE t (v int) INSERT t VALUES (5)");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  auto other = open();
  r = run(*other, "SELECT v FROM tempdb.dbo.t");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  ASSERT_EQ(r.results.size(), 1u);
  ASSERT_EQ(r.results[0].rows.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(r.results[0].rows[0][0].data()), 5);
}

TEST_F(SessionTest, GlobalTempTableEndsWithTheSessionThatMadeIt) {
  auto maker = open();
  auto other = open();
  auto r = run(*maker, "CREATE TABLE ##g (v int) INSERT ##g VALUES (1)");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  r = run(*other, "INSERT ##g VALUES (2) SELECT count(*) FROM ##g");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(r.results[0].rows[0][0].data()), 2);
  // Another session's ##table of the same name, made after the first was
  // dropped, is not the first session's to drop.
  auto third = open();
  r = run(*third, "CREATE TABLE ##h (v int) DROP TABLE ##h CREATE TABLE ##h2 (v int)");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  r = run(*other, "CREATE TABLE ##h (v int)");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  maker.reset();
  third.reset();
  r = run(*other, "SELECT * FROM ##g");
  ASSERT_EQ(r.errors().size(), 1u);
  EXPECT_EQ(r.errors()[0].number, 208);
  r = run(*other,
          "SELECT CASE WHEN OBJECT_ID('tempdb..##h') IS NULL THEN 'gone' ELSE 'kept' END, "
          "CASE WHEN OBJECT_ID('##h2') IS NULL THEN 'gone' ELSE 'kept' END");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  ASSERT_EQ(r.results.size(), 1u);
  EXPECT_EQ(std::get<std::string>(r.results[0].rows[0][0].data()), "kept");
  EXPECT_EQ(std::get<std::string>(r.results[0].rows[0][1].data()), "gone");
}

TEST_F(SessionTest, TempdbStartsEmptyWithEachEngine) {
  std::string dir = ::testing::TempDir() + "/tessel_tempdb_test_" + std::to_string(::getpid());
  auto start = [&] {
    EngineOptions options;
    options.dataDirectory = dir;
    return createSqliteEngine(options);
  };
  CancelFlag cancel;
  {
    auto engine = start();
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    RecordingSink sink;
    s->executeBatch(
        "CREATE TABLE tempdb..gone (v int) INSERT tempdb..gone VALUES (1) "
        "CREATE TABLE kept (v int)",
        sink, cancel);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  }
  auto engine = start();
  auto s = openOn(*engine);
  ASSERT_TRUE(s);
  RecordingSink sink;
  s->executeBatch(
      "SELECT count(*) FROM tempdb..sysobjects WHERE xtype = 'U' "
      "SELECT count(*) FROM master..sysdatabases WHERE name = 'tempdb' "
      "SELECT count(*) FROM kept "
      "CREATE TABLE tempdb..gone (v int) SELECT count(*) FROM tempdb..gone",
      sink, cancel);
  ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  ASSERT_EQ(sink.results.size(), 4u);
  for (const auto& r : sink.results) ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[0].rows[0][0].data()), 0);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[1].rows[0][0].data()), 1);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[2].rows[0][0].data()), 0);
  EXPECT_EQ(std::get<std::int64_t>(sink.results[3].rows[0][0].data()), 0);
  s.reset();
  engine.reset();
  std::filesystem::remove_all(dir);
}

// A DB-Library login starts with ANSI_PADDING off, an ODBC one with it on; the
// columns each creates follow, and @@OPTIONS shows the setting (16).
TEST_F(SessionTest, AnsiPaddingStartsAsTheLoginAsks) {
  for (bool odbc : {false, true}) {
    LoginInfo login;
    login.user = "sa";
    login.odbc = odbc;
    Message error;
    auto s = engine_->openSession(login, error);
    ASSERT_TRUE(s) << error.text;
    RecordingSink sink = run(*s,
                             "CREATE TABLE #p (c char(4) NULL) INSERT #p VALUES ('a') "
                             "SELECT @@OPTIONS & 16, c FROM #p");
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    ASSERT_EQ(sink.results.size(), 1u);
    const auto& row = sink.results[0].rows.at(0);
    EXPECT_EQ(std::get<std::int64_t>(row.at(0).data()), odbc ? 16 : 0);
    EXPECT_EQ(std::get<std::string>(row.at(1).data()), odbc ? "a   " : "a");
    EXPECT_EQ(sink.results[0].columns.at(1).unpadded, !odbc);
  }
}

// Each column keeps the ANSI_PADDING it was created with in the database
// file. Columns of files written before the setting was recorded (no mark in
// syscolumns.colstat, nor status 0x10) behave as they did: padded.
TEST_F(SessionTest, ColumnsKeepTheirAnsiPaddingAcrossEngines) {
  std::string dir = ::testing::TempDir() + "/tessel_padding_test_" + std::to_string(::getpid());
  CancelFlag cancel;
  {
    EngineOptions options;
    options.dataDirectory = dir;
    auto engine = createSqliteEngine(options);
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    RecordingSink sink;
    s->executeBatch(
        "CREATE DATABASE keep USE keep "
        "CREATE TABLE t_off (c char(6) NULL) CREATE TABLE legacy (c char(6) NULL) "
        "SET ANSI_PADDING ON CREATE TABLE t_on (c char(6) NULL)",
        sink, cancel);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  }
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/keep.db").c_str(), &db), SQLITE_OK);
    // The catalog's names compare without case.
    sqlite3_create_collation(db, "TSQL_CI", SQLITE_UTF8, nullptr,
                             [](void*, int n1, const void* p1, int n2, const void* p2) {
                               int n = std::min(n1, n2);
                               int c = strncasecmp(static_cast<const char*>(p1),
                                                   static_cast<const char*>(p2),
                                                   static_cast<std::size_t>(n));
                               return c ? c : n1 - n2;
                             });
    EXPECT_EQ(sqlite3_exec(db,
                           "UPDATE syscolumns SET colstat = 0, status = status & ~16 WHERE id = "
                           "(SELECT id FROM sysobjects WHERE name = 'legacy')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
  }
  EngineOptions options;
  options.dataDirectory = dir;
  auto engine = createSqliteEngine(options);
  auto s = openOn(*engine, "keep");
  ASSERT_TRUE(s);
  RecordingSink sink;
  s->executeBatch(
      "INSERT t_off VALUES ('ab ') INSERT t_on VALUES ('ab ') INSERT legacy VALUES ('ab ') "
      "SELECT (SELECT c FROM t_off), (SELECT c FROM t_on), (SELECT c FROM legacy) "
      "SELECT o.name, c.is_ansi_padded FROM sys.columns c JOIN sys.objects o "
      "ON o.object_id = c.object_id WHERE o.name IN ('t_off', 't_on', 'legacy') ORDER BY o.name",
      sink, cancel);
  ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  ASSERT_EQ(sink.results.size(), 2u);
  const auto& values = sink.results[0].rows.at(0);
  EXPECT_EQ(std::get<std::string>(values.at(0).data()), "ab");
  EXPECT_EQ(std::get<std::string>(values.at(1).data()), "ab    ");
  EXPECT_EQ(std::get<std::string>(values.at(2).data()), "ab    ");
  const auto& padded = sink.results[1].rows;
  ASSERT_EQ(padded.size(), 3u);
  std::vector<std::int64_t> flags;
  for (const auto& row : padded) flags.push_back(std::get<std::int64_t>(row.at(1).data()));
  EXPECT_EQ(flags, (std::vector<std::int64_t>{1, 0, 1}));  // legacy, t_off, t_on
  std::filesystem::remove_all(dir);
}

// The text column's values in the rows of a result, in order.
std::vector<std::string> texts(const RecordingSink& sink, std::size_t result = 0) {
  std::vector<std::string> out;
  if (sink.results.size() <= result) return out;
  for (const auto& row : sink.results[result].rows)
    out.push_back(std::get<std::string>(row.at(0).data()));
  return out;
}

TEST_F(SessionTest, TextComparesIgnoringCaseButNotAccents) {
  auto s = open();
  auto r = run(*s,
               "CREATE TABLE words (w nvarchar(20) NOT NULL) "
               "CREATE INDEX words_w ON words (w) "
               "INSERT words VALUES (N'zebra') INSERT words VALUES (N'École') "
               "INSERT words VALUES (N'ecole') INSERT words VALUES (N'Apple') "
               "INSERT words VALUES (N'été') INSERT words VALUES (N'apricot') "
               "SELECT w FROM words ORDER BY w "
               "SELECT w FROM words WHERE w = N'ÉCOLE' "
               "SELECT w FROM words WHERE w = N'ECOLE' "
               "SELECT w FROM words WHERE w LIKE N'éc%' "
               "SELECT max(w) FROM words WHERE w <> N'zebra' "
               "SELECT count(DISTINCT w) FROM (SELECT w FROM words UNION ALL "
               "SELECT upper(w) FROM words) x");
  ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
  ASSERT_EQ(r.results.size(), 6u);
  EXPECT_EQ(texts(r, 0),
            (std::vector<std::string>{"Apple", "apricot", "ecole", "École", "été", "zebra"}));
  EXPECT_EQ(texts(r, 1), std::vector<std::string>{"École"});
  EXPECT_EQ(texts(r, 2), std::vector<std::string>{"ecole"});
  EXPECT_EQ(texts(r, 3), std::vector<std::string>{"École"});
  EXPECT_EQ(texts(r, 4), std::vector<std::string>{"été"});
  EXPECT_EQ(std::get<std::int64_t>(r.results[5].rows.at(0).at(0).data()), 6);
}

// An index a server built under an older order of text is rebuilt when the
// engine opens the file, so that it finds its rows again.
TEST_F(SessionTest, IndexesBuiltUnderAnOlderOrderAreRebuiltAtStart) {
  std::string dir = ::testing::TempDir() + "/tessel_reindex_test_" + std::to_string(::getpid());
  CancelFlag cancel;
  std::string insert;
  for (const char* w : {"abbey", "école", "Émile", "zebra", "yacht", "été", "ozone", "Öl"})
    insert += std::string("INSERT names VALUES (N'") + w + "') ";
  {
    EngineOptions options;
    options.dataDirectory = dir;
    auto engine = createSqliteEngine(options);
    auto s = openOn(*engine);
    ASSERT_TRUE(s);
    RecordingSink sink;
    s->executeBatch(
        "CREATE DATABASE old USE old CREATE TABLE names (n nvarchar(20) NOT NULL) "
        "CREATE UNIQUE INDEX names_n ON names (n) " +
            insert,
        sink, cancel);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  }
  {
    // As servers that compared bytes without case left the file: every
    // accented letter after z, and no collation version kept.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/old.db").c_str(), &db), SQLITE_OK);
    sqlite3_create_collation(db, "TSQL_CI", SQLITE_UTF8, nullptr,
                             [](void*, int n1, const void* p1, int n2, const void* p2) {
                               int n = std::min(n1, n2);
                               int c = strncasecmp(static_cast<const char*>(p1),
                                                   static_cast<const char*>(p2),
                                                   static_cast<std::size_t>(n));
                               return c ? c : n1 - n2;
                             });
    EXPECT_EQ(
        sqlite3_exec(db, "REINDEX TSQL_CI; PRAGMA user_version = 0", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
  }
  EngineOptions options;
  options.dataDirectory = dir;
  auto engine = createSqliteEngine(options);
  auto s = openOn(*engine, "old");
  ASSERT_TRUE(s);
  RecordingSink sink;
  s->executeBatch(
      "SELECT n FROM names WHERE n = N'ÉCOLE' SELECT n FROM names WHERE n = N'émile' "
      "SELECT n FROM names WHERE n = N'öl' SELECT n FROM names WHERE n > N'y' ORDER BY n",
      sink, cancel);
  ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
  EXPECT_EQ(texts(sink, 0), std::vector<std::string>{"école"});
  EXPECT_EQ(texts(sink, 1), std::vector<std::string>{"Émile"});
  EXPECT_EQ(texts(sink, 2), std::vector<std::string>{"Öl"});
  EXPECT_EQ(texts(sink, 3), (std::vector<std::string>{"yacht", "zebra"}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessel::sqld::testing
