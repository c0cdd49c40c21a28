// Times a 100,000-row SELECT of an int, a varchar(30), a datetime, a money
// and a float column through FreeTDS's db-lib against tessel-sqld (run with
// --encrypt on), in clear (encryption = off) and over TLS (encryption =
// require), and the same rows read by SQLite straight from the server's
// database file. Each side runs several times; the best times give the
// ratios. The server's own CPU time over the db-lib runs (from /proc) against
// the CPU time of SQLite's step-and-column loop over the same rows shows the
// server's cost apart from the client's; db-lib's own CPU time per SELECT is
// printed beside them, since it bounds the wall-clock ratio from below.
//
// Both connections ask for the largest TDS packet (32767 bytes), as a client
// reading large results does, so the client reads the rows in a few hundred
// receives rather than over a thousand. The client character set is UTF-8,
// the one Tessel's own logins ask for, so the recoding of varchar text that
// an application pays is counted, and not a recoding into whatever the
// process locale names (ISO 8859-1 in the C locale).

#include <sqlite3.h>
#include <sybdb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_cpu.h"
#include "bench_main.h"
#include "dblib_bench.h"

namespace {

using tessel::testing::ExecuteBatch;
using tessel::testing::ProcessCpuSeconds;
using tessel::testing::ThreadCpuSeconds;

constexpr int kRows = 100000;
constexpr int kRuns = 5;
constexpr int kPacketSize = 32767;
constexpr const char* kPassword = "bench-password";

void fill(DBPROCESS* proc) {
  ExecuteBatch(proc,
               "CREATE TABLE bench (i int NOT NULL, s varchar(30) NULL, d datetime NULL, "
               "m money NULL, f float NULL)");
  ExecuteBatch(proc,
               "SET NOCOUNT ON DECLARE @i int SET @i = 0 "
               "WHILE @i < 1000 BEGIN "
               "INSERT bench VALUES (@i, 'row number ' + CAST(@i AS varchar(10)), "
               "DATEADD(minute, @i, '20240101'), @i * $1.25, @i / 7.0e0) SET @i = @i + 1 END");
  ExecuteBatch(proc,
               "INSERT bench SELECT a.i + b.i * 1000, a.s, a.d, a.m, a.f FROM bench a, bench b "
               "WHERE b.i BETWEEN 1 AND 99");
}

// Reads every column of every row the way an application does.
long long readThroughDbLib(DBPROCESS* proc) {
  dbcmd(proc, "SELECT i, s, d, m, f FROM bench");
  if (dbsqlexec(proc) == FAIL || dbresults(proc) == FAIL) throw std::runtime_error("SELECT failed");
  long long rows = 0, sum = 0;
  while (dbnextrow(proc) != NO_MORE_ROWS) {
    for (int col = 1; col <= 5; ++col) sum += dbdatlen(proc, col) + (dbdata(proc, col) ? 1 : 0);
    ++rows;
  }
  while (dbresults(proc) != NO_MORE_RESULTS) {
  }
  return sum > 0 ? rows : 0;
}

long long readThroughSqlite(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT i, s, d, m, f FROM bench", -1, &stmt, nullptr);
  long long rows = 0, sum = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    sum += sqlite3_column_int64(stmt, 0);
    sum += sqlite3_column_bytes(stmt, 1) + (sqlite3_column_text(stmt, 1) ? 1 : 0);
    sum += sqlite3_column_int64(stmt, 2) & 1;
    sum += sqlite3_column_int64(stmt, 3) & 1;
    sum += static_cast<long long>(sqlite3_column_double(stmt, 4));
    ++rows;
  }
  sqlite3_finalize(stmt);
  return sum > 0 ? rows : 0;
}

const char kUsage[] =
    "usage: bench_sqld_select [--help]\n"
    "Starts tessel-sqld on a free loopback port, reads 100,000 rows through FreeTDS's db-lib\n"
    "and the same rows through SQLite from the server's database file; prints\n"
    "RATIO sqld_select_vs_sqlite and RATIO sqld_select_tls_vs_plain (the same SELECT on an\n"
    "encrypted connection) and RATIO sqld_select_server_cpu_vs_sqlite (the server's CPU time\n"
    "per SELECT against SQLite's own loop over the same rows).\n";

int Run() {
  // Encryption for every client that can; the plain connection says it cannot.
  tessel::testing::DbLibBenchServer server(TESSEL_SQLD_PATH, kPassword, "select",
                                           {"--encrypt", "on"});
  const std::string conf = server.Folder() + "/freetds.conf";
  {
    std::ofstream out(conf);
    for (const char* mode : {"off", "require"}) {
      out << "[sqld_" << mode << "]\n\thost = 127.0.0.1\n\tport = " << server.Port()
          << "\n\ttds version = 7.4\n\tclient charset = UTF-8\n\tencryption = " << mode << "\n";
    }
  }
  setenv("FREETDSCONF", conf.c_str(), 1);
  DBPROCESS* proc = server.Connect("bench_sqld_select", false, "sqld_off", kPacketSize);
  fill(proc);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((server.Folder() + "/tessel.db").c_str(), &db, SQLITE_OPEN_READONLY,
                      nullptr) != SQLITE_OK)
    throw std::runtime_error("cannot open the server's database file");
  DBPROCESS* tlsProc = server.Connect("bench_sqld_select_tls", false, "sqld_require", kPacketSize);
  if (dbgetpacket(proc) != kPacketSize || dbgetpacket(tlsProc) != kPacketSize)
    throw std::runtime_error("the server did not grant the packet size asked for");
  long long sqldRows = 0, sqliteRows = 0, tlsRows = 0;
  readThroughDbLib(proc);  // warm both caches
  readThroughDbLib(tlsProc);
  readThroughSqlite(db);
  const double serverCpuBefore = ProcessCpuSeconds(server.Pid());
  const double clientCpuBefore = ThreadCpuSeconds();
  double sqld = tessel::testing::BestSeconds(
      kRuns, [&] { return readThroughDbLib(proc); }, sqldRows);
  const double clientCpu = (ThreadCpuSeconds() - clientCpuBefore) / kRuns;
  const double serverCpu = (ProcessCpuSeconds(server.Pid()) - serverCpuBefore) / kRuns;
  double tls = tessel::testing::BestSeconds(
      kRuns, [&] { return readThroughDbLib(tlsProc); }, tlsRows);
  const double liteCpuBefore = ThreadCpuSeconds();
  double lite = tessel::testing::BestSeconds(
      kRuns, [&] { return readThroughSqlite(db); }, sqliteRows);
  const double liteCpu = (ThreadCpuSeconds() - liteCpuBefore) / kRuns;
  sqlite3_close(db);
  if (sqldRows != kRows || sqliteRows != kRows || tlsRows != kRows)
    throw std::runtime_error("row counts differ: " + std::to_string(sqldRows) + " and " +
                             std::to_string(sqliteRows));
  std::printf(
      "sqld_select: %d rows, tessel-sqld via db-lib %.4f s (packets of %d bytes), "
      "SQLite %.4f s\n",
      kRows, sqld, kPacketSize, lite);
  std::printf("sqld_select: over TLS %.4f s\n", tls);
  std::printf(
      "sqld_select: server CPU %.4f s per SELECT, db-lib client CPU %.4f s, SQLite's loop %.4f s\n",
      serverCpu, clientCpu, liteCpu);
  std::printf("RATIO sqld_select_vs_sqlite %.2f\n", sqld / lite);
  std::printf("RATIO sqld_select_tls_vs_plain %.2f\n", tls / sqld);
  std::printf("RATIO sqld_select_server_cpu_vs_sqlite %.2f\n", serverCpu / liteCpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_sqld_select", kUsage, Run);
}
