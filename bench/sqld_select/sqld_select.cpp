// Times a 100,000-row SELECT of an int, a varchar(30), a datetime, a money
// and a float column through FreeTDS's db-lib against tessel-sqld, and the
// same rows read by SQLite straight from the server's database file. Each
// side runs several times; the best times give the ratio.

#include <sqlite3.h>
#include <sybdb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqld_process.h"

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 5;
constexpr const char* kPassword = "bench-password";

int onError(DBPROCESS*, int, int, int, char* text, char*) {
  std::fprintf(stderr, "db-lib: %s\n", text ? text : "");
  return INT_CANCEL;
}

int onMessage(DBPROCESS*, DBINT number, int, int severity, char* text, char*, char*, int) {
  if (severity > 10) std::fprintf(stderr, "server %d: %s\n", static_cast<int>(number), text);
  return 0;
}

DBPROCESS* connect(int port) {
  setenv("TDSPORT", std::to_string(port).c_str(), 1);
  setenv("TDSVER", "7.4", 1);
  LOGINREC* login = dblogin();
  DBSETLUSER(login, "sa");
  DBSETLPWD(login, kPassword);
  DBSETLAPP(login, "bench_sqld_select");
  DBPROCESS* proc = dbopen(login, "127.0.0.1");
  dbloginfree(login);
  if (!proc) throw std::runtime_error("cannot connect to tessel-sqld");
  return proc;
}

void execute(DBPROCESS* proc, const std::string& sql) {
  if (dbcmd(proc, sql.c_str()) == FAIL || dbsqlexec(proc) == FAIL)
    throw std::runtime_error("failed: " + sql);
  while (dbresults(proc) != NO_MORE_RESULTS)
    while (dbnextrow(proc) != NO_MORE_ROWS) {
    }
}

void fill(DBPROCESS* proc) {
  execute(proc,
          "CREATE TABLE bench (i int NOT NULL, s varchar(30) NULL, d datetime NULL, "
          "m money NULL, f float NULL)");
  execute(proc,
          "SET NOCOUNT ON DECLARE @i int SET @i = 0 "
          "WHILE @i < 1000 BEGIN "
          "INSERT bench VALUES (@i, 'row number ' + CAST(@i AS varchar(10)), "
          "DATEADD(minute, @i, '20240101'), @i * $1.25, @i / 7.0e0) SET @i = @i + 1 END");
  execute(proc,
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

template <typename F>
double bestSeconds(F&& run, long long& rows) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    auto start = std::chrono::steady_clock::now();
    rows = run();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  std::string dir =
      (fs::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()))).string();
  fs::create_directories(dir);
  int status = 0;
  try {
    tessel::testing::SqldProcess server;
    std::string why;
    if (!server.Start(TESSEL_SQLD_PATH, kPassword, why, {"--data", dir}))
      throw std::runtime_error(why);
    if (dbinit() == FAIL) throw std::runtime_error("dbinit failed");
    dberrhandle(onError);
    dbmsghandle(onMessage);
    DBPROCESS* proc = connect(server.Port());
    fill(proc);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dir + "/tessel.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
      throw std::runtime_error("cannot open the server's database file");
    long long sqldRows = 0, sqliteRows = 0;
    readThroughDbLib(proc);  // warm both caches
    readThroughSqlite(db);
    double sqld = bestSeconds([&] { return readThroughDbLib(proc); }, sqldRows);
    double lite = bestSeconds([&] { return readThroughSqlite(db); }, sqliteRows);
    sqlite3_close(db);
    dbclose(proc);
    dbexit();
    if (sqldRows != kRows || sqliteRows != kRows)
      throw std::runtime_error("row counts differ: " + std::to_string(sqldRows) + " and " +
                               std::to_string(sqliteRows));
    std::printf("sqld_select: %d rows, tessel-sqld via db-lib %.4f s, SQLite %.4f s\n", kRows, sqld,
                lite);
    std::printf("RATIO sqld_select_vs_sqlite %.2f\n", sqld / lite);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_sqld_select: %s\n", e.what());
    status = 1;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return status;
}
