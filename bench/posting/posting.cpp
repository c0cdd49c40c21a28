// Times posting edits through TTessel against tessel-sqld. Each timing is the
// best of several runs. Prints:
//   RATIO post_update_vs_raw_exec <5,000 posts through generated UPDATEs
//         (upWhereKeyOnly) / the same 5,000 UPDATE texts sent with dbcmd and
//         dbsqlexec through the same wrappers>
//   RATIO post_large_cache_vs_small <time of 2,000 edit posts on a 100,000-row
//         cache / the same on a 10-row cache>
// Only Edit, the field assignment and Post are timed; moving to the record is
// not.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "bench_main.h"
#include "bench_server.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr int kEdits = 5000;
constexpr int kLargeRows = 100000;
constexpr int kSmallRows = 10;
constexpr int kCachePosts = 2000;
constexpr int kRuns = 3;
constexpr int kRowsPerInsert = 500;
constexpr const char* kPassword = "bench-Posting-1";

const char kUsage[] =
    "usage: bench_posting [--help]\n"
    "Starts tessel-sqld on a free loopback port, fills its tables and prints the\n"
    "RATIO lines of the posting benchmark.\n";

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void FillTable(TSQLServer& server, const std::string& table, int rows) {
  server.InternalExecute("CREATE TABLE " + table +
                         " (id int NOT NULL PRIMARY KEY, qty int NOT NULL, note varchar(30) NULL)");
  for (int first = 1; first <= rows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO " + table + " VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= rows; ++id) {
      if (id != first) sql += ",";
      sql += Format("(%d, %d, 'note %d')", {id, id % 100, id});
    }
    server.InternalExecute(sql);
  }
}

// A fully cached query over `table` that writes qty back by its key.
void OpenForEdits(TTessel& query, TSQLServer& server, const std::string& table) {
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText("SELECT id, qty, note FROM " + table + " ORDER BY id");
  query.UpdateParams()->SetTableName(table);
  query.UpdateParams()->KeyFields()->Add("id");
  query.UpdateParams()->UpdateFields()->SetText("qty\nnote");
  query.UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  query.Open();
}

// Edit, assign and Post on the current record; returns the time they took.
Clock::duration PostOne(TTessel& query, int value) {
  const auto start = Clock::now();
  query.Edit();
  query.FieldByName("qty")->SetAsInteger(value);
  query.Post();
  return Clock::now() - start;
}

double PostedEdits(TSQLServer& server, int round) {
  TTessel query(nullptr);
  OpenForEdits(query, server, "bench_edits");
  Clock::duration total{};
  for (query.First(); !query.Eof(); query.Next()) {
    total += PostOne(query, 1000 * round + query.RecNo());
  }
  return Seconds(total);
}

// The same statements the posts generate, sent straight through the wrappers
// on the base connection.
double RawUpdates(TSQLServer& server, int round) {
  PDBPROCESS connection = server.GetBaseProcess();
  const auto start = Clock::now();
  for (int id = 1; id <= kEdits; ++id) {
    const std::string sql =
        Format("update bench_edits set qty=%d\r\nwhere \r\nid=%d \r\n", {1000 * round + id, id});
    dbcmd(connection, sql.c_str());
    CheckDBResult(dbsqlexec(connection));
    int result;
    while ((result = dbresults(connection)) != 2 /* NO_MORE_RESULTS */) CheckDBResult(result);
    if (dbcount(connection) != 1) throw std::runtime_error("a raw update missed its row");
  }
  return Seconds(Clock::now() - start);
}

// kCachePosts edits posted over records spread across the whole cache.
double PostsOnCache(TSQLServer& server, const std::string& table, int rows, int round) {
  TTessel query(nullptr);
  OpenForEdits(query, server, table);
  Clock::duration total{};
  for (int i = 0; i < kCachePosts; ++i) {
    query.SetRecNo(1 + static_cast<int>((static_cast<long>(i) * 7919) % rows));
    total += PostOne(query, round * kCachePosts + i);
  }
  return Seconds(total);
}

int Run() {
  tessel::testing::BenchServer sqld(kPassword);
  TSQLServer& server = sqld.Server();
  FillTable(server, "bench_edits", kEdits);
  FillTable(server, "bench_large", kLargeRows);
  FillTable(server, "bench_small", kSmallRows);

  double posted = 1e9, raw = 1e9, large = 1e9, small = 1e9;
  for (int run = 1; run <= kRuns; ++run) {
    raw = std::min(raw, RawUpdates(server, 2 * run));
    posted = std::min(posted, PostedEdits(server, 2 * run + 1));
    small = std::min(small, PostsOnCache(server, "bench_small", kSmallRows, 2 * run));
    large = std::min(large, PostsOnCache(server, "bench_large", kLargeRows, 2 * run + 1));
  }
  std::printf("RATIO post_update_vs_raw_exec %.3f\n", posted / raw);
  std::printf("RATIO post_large_cache_vs_small %.3f\n", large / small);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_posting", kUsage, [] { return Run(); });
}
