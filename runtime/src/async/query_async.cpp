// Asynchronous open and execute: the worker thread and the hand-over between
// it and the main thread.
//
// Design notes
//  1. An operation runs from AsyncOpen/AsyncExec (main thread: FThreadActive
//     and FWorkerAttached set, controls disabled) to the worker's last
//     notification (main thread: both cleared, controls enabled). In between
//     the worker owns the query; the main thread only sets FCancelAsync and
//     waits.
//  2. The worker clears FThreadActive at the statement's cancel points, but
//     goes on touching the query until its last notification; so whoever
//     must wait for the worker (AsyncClose, InternalClose, the destructor)
//     waits for FWorkerAttached, delivering synchronized calls meanwhile.
//  3. Every operation ends with exactly one notification: ThreadReady
//     (completed or cancelled; AsyncOutcome tells which) or DisplayMessage
//     (failed). The worker does not touch the query once it has been sent.
//  4. A cancelled operation leaves nothing pending: the statement was
//     cancelled on its connection, which is given back (or kept clean when a
//     prepared procedure lives on it), and a half-opened dataset is closed.
//  5. A handler run by one of the worker's notifications may close the
//     query; the close then asks the worker to stop without waiting for it,
//     since the worker is itself waiting for the handler.

#include <algorithm>
#include <chrono>
#include <memory>
#include <typeinfo>

#include "async/query_async_worker.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr unsigned kStopPollMs = 20;
constexpr std::chrono::seconds kStopGrace{2};

// The query whose operation the current thread runs.
thread_local const TTessel* tls_worker_query = nullptr;

}  // namespace

bool IsAsyncWorkerOf(const TTessel* Query) {
  return Query != nullptr && tls_worker_query == Query;
}

// --- main thread -----------------------------------------------------------------

void TTessel::AsyncOpen() {
  StartAsync(lqOpen);
}

void TTessel::AsyncExec() {
  StartAsync(lqExecSQL);
}

void TTessel::StartAsync(TlqAsyncOperation Operation) {
  // A worker past its cancel point has cleared FThreadActive but still uses
  // the query: a second one must not start beside it.
  // The worker flags first: while a worker is attached it may be changing
  // the dataset's state, which is not to be read here.
  if (FThreadActive || FWorkerAttached || Active()) return;
  if (FCacheAllRecords) RaiseDatabaseError(SAsyncOpenError);
  // A prepared procedure lives on the connection it was made on, the shared
  // base connection, which the main thread goes on using: the worker would
  // send on it at the same time. Refused rather than run unsafely.
  if (FPrepared) {
    DatabaseError(
        Format("Query '%s' is prepared, and its procedure lives on the connection the "
               "main thread uses: unprepare it before an asynchronous open or execute",
               {Name()}));
  }
  // The worker needs a connection of its own; one kept from an earlier
  // statement may be the shared base connection.
  if (FDBProcess != nullptr && FDataBaseName != nullptr) {
    FDataBaseName->CloseConnection(FDBProcess);
  }
  FCancelAsync = false;
  FThreadActive = true;
  FWorkerAttached = true;
  FAsyncOutcome = aoRunning;
  DisableControls();
  try {
    new TQryThread(this, Operation);  // frees itself after its last notification
  } catch (...) {
    FThreadActive = false;
    FWorkerAttached = false;
    FAsyncOutcome = aoNone;
    EnableControls();
    throw;
  }
}

void TTessel::AsyncClose() {
  StopAsync();
  Close();
}

void TTessel::Close() {
  StopAsync();
  TDataSet::Close();
}

// Asks a running worker to stop and waits until it has let go of the query.
// The worker itself (closing its query after a failed open) and a handler of
// one of its notifications only raise the request.
void TTessel::StopAsync() {
  if (!FWorkerAttached || IsAsyncWorkerOf(this)) return;
  FCancelAsync = true;
  if (FInNotification > 0) return;
  // A worker waiting for rows from a server that stopped answering would
  // keep the main thread until the query time-out, or for ever without one:
  // past the grace its wait is given up, which closes its connection.
  const auto give_up = std::chrono::steady_clock::now() + kStopGrace;
  while (FWorkerAttached) {
    SynchronizeSleep(kStopPollMs);
    if (std::chrono::steady_clock::now() < give_up) continue;
    if (PDBPROCESS waiting = FWorkerWaitingOn.load()) dbabandon(waiting);
  }
}

void TTessel::DoThreadReady() {
  if (OnThreadReady && !FQueryDestroying && !ComponentState().Contains(csDestroying)) {
    OnThreadReady(this);
  }
  EndAsync();
}

void TTessel::DoThreadMsg(const std::string& aMsg) {
  if (OnThreadMsg && !FQueryDestroying && !ComponentState().Contains(csDestroying)) {
    OnThreadMsg(this, aMsg);
  }
}

// The end of an operation in the main thread: the worker has let go.
void TTessel::EndAsync() {
  FThreadActive = false;
  FCancelAsync = false;
  FWorkerAttached = false;
  EnableControls();
  // A cancelled open may have left the dataset open without a result.
  if (FAsyncOutcome == aoCancelled && Active() && !FQueryDestroying &&
      !ComponentState().Contains(csDestroying)) {
    Close();
  }
}

// Runs Method in the main thread as a notification of this query's worker.
void TTessel::Notify(const std::function<void()>& Method) {
  const auto run = [this, &Method] {
    ++FInNotification;
    try {
      Method();
    } catch (...) {
      --FInNotification;
      throw;
    }
    --FInNotification;
  };
  if (IsAsyncWorkerOf(this)) {
    TThread::Synchronize(nullptr, run);
  } else {
    Method();
  }
}

// --- worker thread ---------------------------------------------------------------

TlqAsyncOutcome TTessel::RunAsync(TlqAsyncOperation Operation) {
  bool stopped = false;
  // Stopped before anything was sent: nothing to cancel on the server.
  if (FCancelAsync) return aoCancelled;
  if (Operation == lqOpen) {
    Open();
    if (FAsyncFetchAll && !FCancelAsync) stopped = FetchAllAsync();
  } else {
    ExecSQL();
  }
  // Honoured at a cancel point: the batch was cancelled while pending (which
  // clears FThreadActive), or the open gave up before describing the result.
  const bool cancelled =
      stopped ||
      (FCancelAsync && (!FThreadActive || (Operation == lqOpen && FFieldOffsets.empty())));
  if (cancelled || Operation == lqExecSQL) ReleaseAsyncConnection();
  return cancelled ? aoCancelled : aoCompleted;
}

// Reads the rest of the result into the cache. False when it read to the
// end (or the CacheMaxRecords limit), true when a stop request ended it.
bool TTessel::FetchAllAsync() {
  if (!FCursorOpen || FAllFetched || FDBProcess == nullptr || FRecordBufferSize <= 0) return false;
  FProgressAtMs = 0;
  for (;;) {
    // Checked before anything else: a progress handler may have closed the query.
    if (FCancelAsync) return true;
    if (FCacheMaxRecords != 0 &&
        static_cast<std::uint32_t>(RecordCountHeld()) >= FCacheMaxRecords) {
      dbcancel(FDBProcess);
      Disconnect();
      FAllFetched = true;
      break;
    }
    if (NextServerRow() == NO_MORE_ROWS) {
      FAllFetched = true;
      Disconnect();
      break;
    }
    GetRecordData(nullptr);
    NoteFetchProgress(true);
  }
  ReportFetchProgress(RecordCountHeld());
  return false;
}

// Leaves the worker's connection with nothing pending: given back (closed,
// or cancelled and kept with KeepConnections), or only cancelled when a
// prepared procedure lives on it.
void TTessel::ReleaseAsyncConnection() {
  if (FDBProcess == nullptr) return;
  dbcancel(FDBProcess);
  if (!FPrepared) Disconnect();
}

TQryThread::TQryThread(TTessel* Query, TlqAsyncOperation Operation)
    : FQuery(Query), FOperation(Operation) {
  SetFreeOnTerminate(true);
  Start();
}

void TQryThread::Execute() {
  tls_worker_query = FQuery;
  try {
    FOutcome = FQuery->RunAsync(FOperation);
    FQuery->Notify([this] { ThreadReady(); });
    tls_worker_query = nullptr;
    return;
  } catch (const ElqSQLError& e) {
    FErrorCode = std::max(0, e.ErrorCode());
    ReportFailure(e.ClassName(), e.Message());
  } catch (const Exception& e) {
    ReportFailure(e.ClassName(), e.Message());
  } catch (const std::exception& e) {
    // Not the framework's kind of failure, but the query must still be told,
    // or whoever waits for the worker would wait for ever.
    ReportFailure(ClassNameOf(typeid(e)), e.what());
  } catch (...) {
    ReportFailure("Exception", "Unknown failure");
  }
  tls_worker_query = nullptr;
}

void TQryThread::ReportFailure(const std::string& ClassName, const std::string& Message) {
  // Server messages end with their own period; a second one reads as a slip.
  FMessage = Format("%s: %s", {ClassName, Message});
  if (FMessage.empty() || FMessage.back() != '.') FMessage += '.';
  try {
    FQuery->ReleaseAsyncConnection();
  } catch (...) {
    // The connection is given back at close at the latest.
  }
  try {
    FQuery->Notify([this] { DisplayMessage(); });
  } catch (...) {
    // Raised by the application's handler; the operation has ended anyway.
  }
}

void TQryThread::ThreadReady() {
  FQuery->FAsyncOutcome = FOutcome;
  FQuery->FAsyncErrorCode = 0;
  FQuery->DoThreadReady();
}

void TQryThread::DisplayMessage() {
  FQuery->FAsyncOutcome = aoFailed;
  FQuery->FAsyncErrorCode = FErrorCode;
  try {
    FQuery->DoThreadMsg(FMessage);
  } catch (...) {
    FQuery->EndAsync();
    throw;
  }
  FQuery->EndAsync();
}

}  // namespace tessel
