// Times AsyncClose of a query whose statement (a WAITFOR of ten minutes) is
// still running on tessel-sqld: from the call until it returns with the query
// closed, the server's statement cancelled and the worker gone. The baseline,
// in the same run, is a plain dbsqlsend of the same batch on a connection of
// the same server followed by dbcancel. Medians of several runs. Prints:
//   RATE async_cancel_ms <median milliseconds from AsyncClose to closed>
//   RATE raw_dbcancel_ms <median milliseconds of the plain dbcancel>
//   RATIO async_cancel_vs_raw_dbcancel <the first over the second>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_server.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "framework/thread.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 21;
constexpr unsigned kPendingMs = 300;  // logged in, the batch is on the server by then
constexpr const char* kLongBatch = "WAITFOR DELAY '00:10:00'\nSELECT 1 AS one";

const char kUsage[] =
    "usage: bench_async_cancel [--help]\n"
    "Starts tessel-sqld on a free loopback port and prints the RATE and RATIO\n"
    "lines of the asynchronous cancel benchmark.\n";

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Keeps the main thread delivering, as an application's event loop would.
void PumpFor(unsigned ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) CheckSynchronize(1);
}

double AsyncCancelOnce(TSQLServer& server) {
  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SQL()->SetText(kLongBatch);
  query.AsyncOpen();
  PumpFor(kPendingMs);
  if (!query.FThreadActive) throw std::runtime_error("the long statement ended by itself");
  const auto start = Clock::now();
  query.AsyncClose();
  const double elapsed = Milliseconds(start);
  if (query.Active() || query.AsyncOutcome() != aoCancelled) {
    throw std::runtime_error("AsyncClose did not leave the query cancelled and closed");
  }
  return elapsed;
}

double RawCancelOnce(TSQLServer& server) {
  PDBPROCESS connection = server.GetConnection(nullptr, false);
  dbcmd(connection, kLongBatch);
  CheckDBResult(dbsqlsend(connection));
  Sleep(kPendingMs);
  const auto start = Clock::now();
  dbcancel(connection);
  const double elapsed = Milliseconds(start);
  server.CloseConnection(connection);
  return elapsed;
}

int Run() {
  const std::string password = tessel::testing::RandomPassword("bench-Async-");
  tessel::testing::BenchServer sqld(password.c_str());
  TSQLServer& server = sqld.Server();

  std::vector<double> async_ms, raw_ms;
  for (int run = 0; run < kRuns; ++run) {
    async_ms.push_back(AsyncCancelOnce(server));
    raw_ms.push_back(RawCancelOnce(server));
  }
  const double async_median = Median(async_ms);
  const double raw_median = Median(raw_ms);
  std::printf("RATE async_cancel_ms %.1f\n", async_median);
  std::printf("RATE raw_dbcancel_ms %.1f\n", raw_median);
  std::printf("RATIO async_cancel_vs_raw_dbcancel %.2f\n",
              async_median / std::max(raw_median, 0.001));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0;
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  try {
    return Run();
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "bench_async_cancel: %s: %s\n", e.ClassName().c_str(),
                 e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_async_cancel: %s\n", e.what());
  }
  return 1;
}
