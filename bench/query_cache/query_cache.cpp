// Times TTessel's open with CacheAllRecords on 100,000 rows of an int, a
// varchar(30), a datetime, a money and a float column from tessel-sqld,
// against a plain loop of dbnextrow and dbdata copying the same bytes through
// the same wrappers on the same table; measures the heap the cache takes per
// row against the record buffer, without and with the key index that repeated
// Locate on the int column builds; and times First to Last over the filled cache. The
// open is compared run by run (raw loop then open, seven times) and the
// median of the seven ratios is printed; navigation is the best run. The heap
// is measured in the first run: later caches reuse the record blocks earlier
// ones left behind, which the heap no longer counts as taken.
// Prints:
//   RATIO cache_open_vs_raw_dblib <median of cache open time / raw loop time>
//   RATIO cache_bytes_per_row_vs_record_size <heap bytes per cached row / record buffer size>
//   RATIO cache_bytes_per_row_indexed_vs_record_size <the same with one key index built>
//   RATE navigate_records_per_s <records per second>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_cpu.h"
#include "bench_main.h"
#include "bench_server.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 100000;
constexpr int kRuns = 7;
constexpr int kRowsPerInsert = 500;
constexpr const char* kPassword = "bench-Query-1";
constexpr const char* kSelect = "SELECT id, name, added, price, ratio FROM bench_rows ORDER BY id";

const char kUsage[] =
    "usage: bench_query_cache [--help]\n"
    "Starts tessel-sqld on a free loopback port, fills a table of 100,000 rows and\n"
    "prints the RATIO and RATE lines of the query cache benchmark.\n";

using tessel::testing::ProcessCpuSeconds;
using tessel::testing::SecondsSince;
using tessel::testing::ThreadCpuSeconds;

// CPU seconds of this thread and of the server, and this thread's page
// faults, summed over one phase of every run: a slow open shows whose work
// grew. Fresh memory is costly to touch on some virtual machines, and the
// cache must write every row while the raw loop writes none.
struct CpuSplit {
  double client = 0;
  double server = 0;
  long faults = 0;
};

long ThreadPageFaults() {
  struct rusage usage {};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

template <typename Phase>
void MeasureCpu(pid_t server, CpuSplit& total, Phase&& phase) {
  const double client_before = ThreadCpuSeconds();
  const double server_before = ProcessCpuSeconds(server);
  const long faults_before = ThreadPageFaults();
  phase();
  total.client += ThreadCpuSeconds() - client_before;
  total.server += ProcessCpuSeconds(server) - server_before;
  total.faults += ThreadPageFaults() - faults_before;
}

void FillTable(TSQLServer& server) {
  server.InternalExecute(
      "CREATE TABLE bench_rows (id int NOT NULL PRIMARY KEY, name varchar(30) NULL, "
      "added datetime NULL, price money NULL, ratio float NULL)");
  for (int first = 1; first <= kRows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO bench_rows VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= kRows; ++id) {
      if (id != first) sql += ",";
      sql += Format("(%d, 'row name number %d', '2024-01-%.2d 12:%.2d:%.2d', %d.25, %g)",
                    {id, id, 1 + id % 28, id % 60, (id / 60) % 60, id % 1000, id / 7.0});
    }
    server.InternalExecute(sql);
  }
}

// The baseline: every row read with dbnextrow and every column's bytes copied
// out with dbdata and dbdatlen into one row buffer.
double RawLoop(TSQLServer& server, long& rows_read) {
  PDBPROCESS connection = server.GetConnection(nullptr, false);
  const auto start = Clock::now();
  dbcmd(connection, kSelect);
  CheckDBResult(dbsqlexec(connection));
  CheckDBResult(dbresults(connection));
  const int columns = dbnumcols(connection);
  std::vector<char> row(256);
  rows_read = 0;
  while (dbnextrow(connection) == REG_ROW) {
    std::size_t at = 0;
    for (int c = 1; c <= columns; ++c) {
      const DBBYTE* data = dbdata(connection, c);
      const DBINT length = dbdatlen(connection, c);
      if (data != nullptr && length > 0)
        std::memcpy(row.data() + at, data, static_cast<std::size_t>(length));
      at += 40;
    }
    ++rows_read;
  }
  const double elapsed = SecondsSince(start);
  server.DropConnection(nullptr, connection);
  return elapsed;
}

// Large blocks (the record list, an index's table) are mapped apart from the
// heap's arena, so both count.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

int Run() {
  tessel::testing::BenchServer sqld(kPassword);
  TSQLServer& server = sqld.Server();
  FillTable(server);

  std::vector<double> open_ratios;
  double navigate_best = 1e9;
  double bytes_per_row = 0, indexed_bytes_per_row = 0;
  int record_size = 0;
  CpuSplit raw_cpu, open_cpu;
  for (int run = 0; run < kRuns; ++run) {
    long rows = 0;
    double raw = 0;
    MeasureCpu(sqld.Pid(), raw_cpu, [&] { raw = RawLoop(server, rows); });
    if (rows != kRows) throw std::runtime_error(Format("raw loop read %d rows", {rows}));

    TTessel query(nullptr);
    query.SetSQLServer(&server);
    query.SetCacheAllRecords(true);
    query.SQL()->SetText(kSelect);
    const std::size_t heap_before = HeapInUse();
    auto start = Clock::now();
    MeasureCpu(sqld.Pid(), open_cpu, [&] { query.Open(); });
    open_ratios.push_back(SecondsSince(start) / raw);
    const std::size_t heap_after = HeapInUse();
    if (query.RecordCount() != kRows) {
      throw std::runtime_error(Format("the cache holds %d rows", {query.RecordCount()}));
    }
    record_size = query.RecordBufferSize();
    if (run == 0) bytes_per_row = static_cast<double>(heap_after - heap_before) / kRows;
    // The first Locate on a field scans; the second builds the field's index.
    for (const int id : {kRows / 2, kRows / 3}) {
      if (!query.Locate("id", Variant(id), 0))
        throw std::runtime_error(Format("Locate did not find row %d", {id}));
    }
    if (run == 0) indexed_bytes_per_row = static_cast<double>(HeapInUse() - heap_before) / kRows;

    start = Clock::now();
    long visited = 0;
    for (query.First(); !query.Eof(); query.Next()) ++visited;
    navigate_best = std::min(navigate_best, SecondsSince(start));
    if (visited != kRows) throw std::runtime_error(Format("navigation visited %d rows", {visited}));
    query.Close();
  }
  std::sort(open_ratios.begin(), open_ratios.end());
  std::printf("cache_open_vs_raw_dblib: runs from %.3f to %.3f\n", open_ratios.front(),
              open_ratios.back());
  std::printf(
      "cache_open: per run, client CPU %.4f s against %.4f s for the raw loop, server CPU "
      "%.4f s against %.4f s, page faults %ld against %ld\n",
      open_cpu.client / kRuns, raw_cpu.client / kRuns, open_cpu.server / kRuns,
      raw_cpu.server / kRuns, open_cpu.faults / kRuns, raw_cpu.faults / kRuns);
  std::printf("RATIO cache_open_vs_raw_dblib %.3f\n", open_ratios[open_ratios.size() / 2]);
  std::printf("RATIO cache_bytes_per_row_vs_record_size %.3f\n", bytes_per_row / record_size);
  std::printf("RATIO cache_bytes_per_row_indexed_vs_record_size %.3f\n",
              indexed_bytes_per_row / record_size);
  std::printf("RATE navigate_records_per_s %.0f\n", kRows / navigate_best);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_query_cache", kUsage,
                                        [] { return Run(); });
}
