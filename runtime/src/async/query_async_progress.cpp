// Progress of rows being read into the record cache, reported to the
// application in the main thread.
//
// Rows read by the main thread (on demand, by the open-time fill, by Last)
// are reported inline. Rows that the worker reads for an asynchronous full
// read are reported through a synchronized call, so the handler may look at
// the query (RecordCount ...) while the worker waits for it. The framework's
// first fetches inside an asynchronous open are not reported: a handler that
// closed the query there would pull the rows from under the open.

#include <chrono>

#include "async/query_async_worker.h"
#include "runtime/Tessel.h"

namespace tessel {
namespace {

constexpr int kProgressRows = 1000;
constexpr std::int64_t kProgressMs = 100;
// The clock is read once per this many rows; far below 100 ms at any rate.
constexpr int kClockEveryRows = 16;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void TTessel::NoteFetchProgress(bool Worker) {
  if (!OnFetchProgress || IsAsyncWorkerOf(this) != Worker) return;
  const int rows = RecordCountHeld();
  if (FProgressAtMs == 0 || rows <= 1 || rows < FProgressRows) {
    // A new result, or a new full read: the interval starts here.
    FProgressRows = rows <= 1 ? 0 : rows;
    FProgressAtMs = NowMs();
    return;
  }
  // At every whole thousand, so that reports are never more than 1,000 apart.
  if (rows / kProgressRows > FProgressRows / kProgressRows) {
    ReportFetchProgress(rows);
    return;
  }
  if (rows % kClockEveryRows != 0 || rows == FProgressRows) return;
  if (NowMs() - FProgressAtMs >= kProgressMs) ReportFetchProgress(rows);
}

void TTessel::ReportFetchProgress(int Rows) {
  FProgressRows = Rows;
  FProgressAtMs = NowMs();
  if (!OnFetchProgress) return;
  Notify([this, Rows] {
    if (OnFetchProgress && !ComponentState().Contains(csDestroying)) OnFetchProgress(this, Rows);
  });
}

}  // namespace tessel
