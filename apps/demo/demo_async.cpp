// The demo's asynchronous step. The main thread keeps delivering the
// worker's notifications the way an application's event loop would, and
// prints them: progress while the rows of a large result are read, how the
// open ended, and how quickly a long statement stops when it is cancelled.

#include "demo_async.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "framework/thread.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

// Every combination of six sample rows: 5^6 = 15,625 rows from a 5-row table.
constexpr const char* kLargeResult =
    "SELECT a.id AS a, b.id AS b, c.id AS c, d.id AS d, e.id AS e, f.name AS name "
    "FROM tessel_demo_parts a, tessel_demo_parts b, tessel_demo_parts c, "
    "tessel_demo_parts d, tessel_demo_parts e, tessel_demo_parts f";

const char* OutcomeText(TlqAsyncOutcome outcome) {
  switch (outcome) {
    case aoCompleted:
      return "completed";
    case aoFailed:
      return "failed";
    case aoCancelled:
      return "cancelled";
    default:
      return "running";
  }
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void OpenLargeResult(TSQLServer& server) {
  TTessel query(nullptr);
  query.SetName("LargeResult");
  query.SetSQLServer(&server);
  query.SQL()->SetText(kLargeResult);
  query.SetAsyncFetchAll(true);
  bool ended = false;
  query.OnFetchProgress = [](TObject*, int rows) { std::printf("  %d rows so far\n", rows); };
  query.OnThreadReady = [&](TObject*) {
    std::printf("  open %s: %d rows cached\n", OutcomeText(query.AsyncOutcome()),
                query.RecordCount());
    ended = true;
  };
  query.OnThreadMsg = [&](TObject*, const std::string& message) {
    std::printf("  open failed: %s\n", message.c_str());
    ended = true;
  };
  const auto start = Clock::now();
  query.AsyncOpen();
  std::printf("large result opening in a worker thread (AsyncOpen returned at once)\n");
  while (!ended) CheckSynchronize(10);
  std::printf("  took %.0f ms\n", MillisecondsSince(start));
  query.AsyncClose();
}

void CancelLongStatement(TSQLServer& server) {
  TTessel query(nullptr);
  query.SetName("LongStatement");
  query.SetSQLServer(&server);
  query.SQL()->SetText("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one");
  query.AsyncOpen();
  std::printf("a ten-minute statement running in a worker thread\n");
  const auto wait_end = Clock::now() + std::chrono::milliseconds(300);
  while (Clock::now() < wait_end) CheckSynchronize(10);
  const auto start = Clock::now();
  query.AsyncClose();
  std::printf("  AsyncClose returned after %.1f ms: %s, query %s\n", MillisecondsSince(start),
              OutcomeText(query.AsyncOutcome()), query.Active() ? "open" : "closed");
}

}  // namespace

void DemoAsync(TSQLServer& server) {
  OpenLargeResult(server);
  CancelLongStatement(server);
}
