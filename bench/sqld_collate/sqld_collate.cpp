// Times text comparisons in tessel-sqld: the same 100,000 texts (one in ten
// with an accented letter) in a column of the default collation
// SQL_Latin1_General_CP1_CI_AS and in one of Latin1_General_BIN2, each
// scanned by a range test, an equality test, a LIKE and a sort through
// FreeTDS's db-lib. The best of several runs gives the ratio.

#include <sybdb.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench_main.h"
#include "dblib_bench.h"

namespace {

using tessel::testing::ExecuteBatch;

constexpr int kRows = 100000;
constexpr int kRuns = 5;
constexpr const char* kPassword = "bench-password";

void fill(DBPROCESS* proc) {
  ExecuteBatch(proc,
               "CREATE TABLE bench (i int NOT NULL, ci varchar(40) NOT NULL, "
               "b2 varchar(40) COLLATE Latin1_General_BIN2 NOT NULL)");
  ExecuteBatch(
      proc,
      "SET NOCOUNT ON DECLARE @i int, @s varchar(40) SET @i = 0 "
      "WHILE @i < 1000 BEGIN "
      "SET @s = CASE WHEN @i % 10 = 0 THEN 'D' + CHAR(233) + 'tail ' ELSE 'row Number ' END "
      "+ CAST(@i * 7919 % 1000 AS varchar(10)) "
      "INSERT bench VALUES (@i, @s, @s) SET @i = @i + 1 END");
  ExecuteBatch(proc,
               "INSERT bench SELECT a.i + b.i * 1000, a.ci + CAST(b.i AS varchar(3)), "
               "a.b2 + CAST(b.i AS varchar(3)) FROM bench a, bench b WHERE b.i BETWEEN 1 AND 99");
}

// The comparisons of one column: each query's count, summed.
long long compareColumn(DBPROCESS* proc, const std::string& column) {
  const std::string batch =
      "SELECT count(*) FROM bench WHERE " + column + " > 'row number 5' " +
      "SELECT count(*) FROM bench WHERE " + column + " = 'D' + CHAR(233) + 'tail 10' " +
      "SELECT count(*) FROM bench WHERE " + column + " LIKE '%number 9%' " +
      "SELECT max(i) FROM (SELECT TOP 10 i FROM bench ORDER BY " + column + ", i) t";
  dbcmd(proc, batch.c_str());
  if (dbsqlexec(proc) == FAIL) throw std::runtime_error("comparison batch failed");
  long long sum = 0;
  while (dbresults(proc) == SUCCEED) {
    while (dbnextrow(proc) != NO_MORE_ROWS) sum += *reinterpret_cast<const DBINT*>(dbdata(proc, 1));
  }
  return sum;
}

const char kUsage[] =
    "usage: bench_sqld_collate [--help]\n"
    "Starts tessel-sqld on a free loopback port, fills 100,000 texts into a column of the\n"
    "default case-insensitive collation and one of Latin1_General_BIN2, runs the same range,\n"
    "equality, LIKE and ORDER BY queries on each through FreeTDS's db-lib and prints\n"
    "RATIO collate_ci_vs_bin (CI time / BIN2 time).\n";

int Run() {
  tessel::testing::DbLibBenchServer server(TESSEL_SQLD_PATH, kPassword, "collate");
  DBPROCESS* proc = server.Connect("bench_sqld_collate");
  fill(proc);
  long long ciSum = 0, binSum = 0;
  compareColumn(proc, "ci");  // warm the caches
  compareColumn(proc, "b2");
  const double ci = tessel::testing::BestSeconds(
      kRuns, [&] { return compareColumn(proc, "ci"); }, ciSum);
  const double bin = tessel::testing::BestSeconds(
      kRuns, [&] { return compareColumn(proc, "b2"); }, binSum);
  if (ciSum == 0 || binSum == 0) throw std::runtime_error("the queries found no rows");
  std::printf("sqld_collate: %d rows, CI %.4f s, BIN2 %.4f s\n", kRows, ci, bin);
  std::printf("RATIO collate_ci_vs_bin %.2f\n", ci / bin);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_sqld_collate", kUsage, Run);
}
