// Times 100,000 rows of an int, a varchar(30), a datetime, a money and a
// float column copied into tessel-sqld with FreeTDS db-lib's bulk copy
// (INSERT BULK and the bulk-load message), and the same rows inserted by
// SQLite into a database file of its own in one transaction with a prepared
// statement. Each side runs several times into an emptied table; the best
// times give the ratio.

#include <sqlite3.h>
#include <sybdb.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench_main.h"
#include "dblib_bench.h"

namespace {

using tessel::testing::ExecuteBatch;

constexpr int kRows = 100000;
constexpr int kRuns = 3;
constexpr const char* kPassword = "bench-password";

// The values of row i, the same on both sides.
struct Row {
  DBINT i = 0;
  char s[31] = {};
  DBDATETIME d{};
  DBFLT8 m = 0;
  DBFLT8 f = 0;
  void fill(int n) {
    i = n;
    std::snprintf(s, sizeof s, "row number %d", n);
    d.dtdays = 45290 + n / 1440;  // from 2024-01-01, a minute a row
    d.dttime = static_cast<DBINT>((n % 1440) * 60 * 300);
    m = n * 1.25;
    f = n / 7.0;
  }
};

long long copyThroughDbLib(DBPROCESS* proc) {
  ExecuteBatch(proc, "TRUNCATE TABLE bench");
  if (bcp_init(proc, "bench", nullptr, nullptr, DB_IN) == FAIL)
    throw std::runtime_error("bcp_init failed");
  Row r;
  BYTE* empty = reinterpret_cast<BYTE*>(const_cast<char*>(""));
  bcp_bind(proc, reinterpret_cast<BYTE*>(&r.i), 0, -1, nullptr, 0, SYBINT4, 1);
  bcp_bind(proc, reinterpret_cast<BYTE*>(r.s), 0, -1, empty, 1, SYBCHAR, 2);
  bcp_bind(proc, reinterpret_cast<BYTE*>(&r.d), 0, -1, nullptr, 0, SYBDATETIME, 3);
  bcp_bind(proc, reinterpret_cast<BYTE*>(&r.m), 0, -1, nullptr, 0, SYBFLT8, 4);
  bcp_bind(proc, reinterpret_cast<BYTE*>(&r.f), 0, -1, nullptr, 0, SYBFLT8, 5);
  for (int n = 0; n < kRows; ++n) {
    r.fill(n);
    if (bcp_sendrow(proc) == FAIL) throw std::runtime_error("bcp_sendrow failed");
  }
  return bcp_done(proc);
}

long long insertThroughSqlite(sqlite3* db) {
  sqlite3_exec(db, "DELETE FROM bench", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO bench VALUES (?, ?, ?, ?, ?)", -1, &stmt, nullptr);
  Row r;
  long long rows = 0;
  for (int n = 0; n < kRows; ++n) {
    r.fill(n);
    sqlite3_bind_int(stmt, 1, r.i);
    sqlite3_bind_text(stmt, 2, r.s, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(stmt, 3, static_cast<sqlite3_int64>(r.d.dtdays) * 25920000 + r.d.dttime);
    sqlite3_bind_int64(stmt, 4, static_cast<sqlite3_int64>(r.m * 10000));
    sqlite3_bind_double(stmt, 5, r.f);
    if (sqlite3_step(stmt) == SQLITE_DONE) ++rows;
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return rows;
}

const char kUsage[] =
    "usage: bench_sqld_bulk [--help]\n"
    "Starts tessel-sqld on a free loopback port, copies 100,000 rows in through FreeTDS's bcp\n"
    "and inserts the same rows into SQLite in one transaction; prints\n"
    "RATIO sqld_bulk_insert_vs_sqlite.\n";

int Run() {
  tessel::testing::DbLibBenchServer server(TESSEL_SQLD_PATH, kPassword, "bulk");
  DBPROCESS* proc = server.Connect("bench_sqld_bulk", true);
  ExecuteBatch(proc,
               "CREATE TABLE bench (i int NOT NULL, s varchar(30) NULL, d datetime NULL, "
               "m money NULL, f float NULL)");
  sqlite3* db = nullptr;
  if (sqlite3_open((server.Folder() + "/baseline.db").c_str(), &db) != SQLITE_OK)
    throw std::runtime_error("cannot create the SQLite database");
  // The server's own settings for its files, so both sides write alike.
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; CREATE TABLE bench (i INTEGER NOT NULL, s TEXT, "
               "d INTEGER, m INTEGER, f REAL)",
               nullptr, nullptr, nullptr);
  long long sqldRows = 0, sqliteRows = 0;
  double sqld = tessel::testing::BestSeconds(
      kRuns, [&] { return copyThroughDbLib(proc); }, sqldRows);
  double lite = tessel::testing::BestSeconds(
      kRuns, [&] { return insertThroughSqlite(db); }, sqliteRows);
  sqlite3_close(db);
  if (sqldRows != kRows || sqliteRows != kRows)
    throw std::runtime_error("row counts differ: " + std::to_string(sqldRows) + " and " +
                             std::to_string(sqliteRows));
  std::printf("sqld_bulk_insert: %d rows, tessel-sqld via bcp %.4f s, SQLite %.4f s\n", kRows, sqld,
              lite);
  std::printf("RATIO sqld_bulk_insert_vs_sqlite %.2f\n", sqld / lite);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_sqld_bulk", kUsage, Run);
}
