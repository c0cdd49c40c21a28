// Running the query's statement: choosing a connection, sending the batch,
// stepping through its results, and the dataset's open and close.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "framework/sysutils.h"
#include "framework/thread.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "search/locate_index.h"

namespace tessel {
namespace {

constexpr int kNoMoreResults = 2;
constexpr int kTextBatchPollMs = 10;
// Ends the statement of a post: the count of the statement before it.
constexpr const char* kRowCountQuery = "\nselect @@rowcount";

}  // namespace

void TTessel::ExecSQL() {
  InternalExecSQL(qtExecSQL);
}

// A dead connection is given up (its temporary procedure died with it): a
// connection of the query's own is closed, as nobody else would ever close
// it, and a dead base connection is left to the server, which replaces it. A
// lazily read query and everything the worker runs get a connection of their
// own, the rest shares the server's base connection.
void TTessel::ChooseConnection(TQueryType QueryType) {
  if (FDBProcess != nullptr && dbdead(FDBProcess)) {
    FPrepared = false;
    FDataBaseName->CloseConnection(FDBProcess);
  }
  const bool shared = !FThreadActive && (QueryType != qtQuery || FCacheAllRecords);
  if (FDBProcess != nullptr) {
    // A statement for the shared connection that ran elsewhere (a former
    // base connection, or a private one kept from an earlier open) would
    // escape the transaction; a result read on demand would leave the base
    // connection busy for everyone else. Either way the query moves.
    const bool on_base = FDataBaseName->IsBaseProcess(FDBProcess);
    const bool outside_transaction = shared && !on_base && FDataBaseName->InTransaction();
    const bool lazy_on_base = !shared && on_base;
    if (!FDataBaseName->IsFormerBase(FDBProcess) && !outside_transaction && !lazy_on_base) return;
    MoveConnection(shared);
    return;
  }
  FDBProcess = FDataBaseName->GetConnection(this, shared);
}

// Leaves the connection held now for a new one of the given kind. The
// temporary procedure lives on the old connection, so a prepared statement is
// dropped there and prepared again on the new one.
void TTessel::MoveConnection(bool Shared) {
  const bool was_prepared = FPrepared;
  if (FPrepared) DropProcedure();
  FDataBaseName->CloseConnection(FDBProcess);
  FDBProcess = FDataBaseName->GetConnection(this, Shared);
  if (was_prepared) Prepare();
}

void TTessel::InternalExecSQL(TQueryType QueryType) {
  if (FDataBaseName == nullptr) RaiseDatabaseError(Format(SUndefinedSQLServer.str(), {Name()}));
  if (Trim(FSQL->Text()).empty()) RaiseDatabaseError(SNoStatement);
  ChooseConnection(QueryType);
  dbfreebuf(FDBProcess);
  FRowsAffected = -1;
  if (QueryType == qtSQLUpdate) {
    for (int i = 0; i < FParams->Count(); ++i) {
      const TFieldType type = FParams->Items(i)->DataType();
      if (type == ftBlob || type == ftMemo) {
        Prepare();
        break;
      }
    }
  }
  bool cancelled = false;
  FReportedRowCount = -1;
  try {
    SendBatch(QueryType, cancelled);
  } catch (...) {
    // A first statement that failed may leave the rest of its batch (the
    // @@ROWCOUNT query ending a post's statement) pending on a connection
    // others share; a statement's results are read to the end anyway.
    if (QueryType != qtQuery && FDBProcess != nullptr && !dbdead(FDBProcess)) dbcancel(FDBProcess);
    throw;
  }
  if (cancelled) return;
  // Only a query shows rows; any other statement reads its results to the
  // end, so that no rows are left pending on a connection others share.
  const bool settle = QueryType != qtQuery;
  FResultPending = !settle;
  ReadResults(settle);
  // Counts reported keep their meaning (the sum over the statements); when
  // none came, the @@ROWCOUNT the statement ended with tells whether its
  // last statement changed a row.
  if (FReportsRowCount && FRowsAffected < 0 && FReportedRowCount >= 0) {
    FRowsAffected = static_cast<std::int32_t>(std::min<std::int64_t>(FReportedRowCount, INT32_MAX));
  }
}

std::string TTessel::StatementText() const {
  return FReportsRowCount ? FSQL->Text() + kRowCountQuery : FSQL->Text();
}

void TTessel::SendBatch(TQueryType, bool& Cancelled) {
  if (FPrepared) {
    Cancelled = !CallProcedure();
    return;
  }
  dbcmd(FDBProcess, InsertParams(StatementText()).c_str());
  if (!FThreadActive) {
    CheckDBResult(dbsqlexec(FDBProcess));
    return;
  }
  CheckDBResult(dbsqlsend(FDBProcess));
  while (!dbdataready(FDBProcess)) {
    if (FCancelAsync) {
      dbcancel(FDBProcess);
      FThreadActive = false;
      Cancelled = true;
      return;
    }
    Sleep(kTextBatchPollMs);
  }
  CheckDBResult(dbsqlok(FDBProcess));
}

// Stops at the first result with rows, which stay pending for the reader;
// with Settle the rows are read and thrown away and every result is read.
// Failures of later statements are collected, one line each, and raised
// together after the last result.
void TTessel::ReadResults(bool Settle) {
  int r = dbresults(FDBProcess);
  if (r == FAIL) {
    try {
      CheckDBResult(FAIL);
    } catch (...) {
      // The batch may go on after a failed statement (the @@ROWCOUNT query
      // ending a post's statement does): nothing of it is left pending.
      if (Settle) dbcancel(FDBProcess);
      Close();
      throw;
    }
  }
  std::string errors;
  // -1 until a result reports a count: with NOCOUNT on (in the session, a
  // procedure or a trigger) none does, and "no count" must not read as
  // "no row".
  FRowsAffected = -1;
  while (r != kNoMoreResults) {
    const bool rows = dbcmdrow(FDBProcess) == SUCCEED;
    const bool read = rows && Settle && (FReportsRowCount ? ReadRowCount() : SkipRows());
    if (rows && Settle && !read) {
      errors += "\r" + RecordedDBError().LastMsgText;
      if (dbdead(FDBProcess)) break;
    }
    // A result without a count reports -1; the count of a result with rows
    // is the rows read, not rows changed.
    const DBINT count = dbcount(FDBProcess);
    if (count >= 0 && !rows) FRowsAffected = std::max(FRowsAffected, 0) + count;
    FCursorOpen = rows && !Settle;
    if (FCursorOpen) break;
    if (r == FAIL) {
      errors += "\r" + RecordedDBError().LastMsgText;
      // A connection that died answers FAIL for ever.
      if (dbdead(FDBProcess)) break;
    }
    r = dbresults(FDBProcess);
  }
  if (!errors.empty()) throw ElqSQLError(RecordedDBError().LastMsgNo, errors);
}

// The last row's first column is the count; a result of the statement
// itself before it (an OUTPUT clause, a SELECT) is overwritten by it.
bool TTessel::ReadRowCount() {
  int status;
  while ((status = dbnextrow(FDBProcess)) == REG_ROW || status > 0) {
    const DBBYTE* data = dbdata(FDBProcess, 1);
    const DBINT length = dbdatlen(FDBProcess, 1);
    std::int64_t count = -1;
    if (data != nullptr && length == 4) {
      std::int32_t value = 0;
      std::memcpy(&value, data, sizeof value);
      count = value;
    } else if (data != nullptr && length == 8) {
      std::memcpy(&count, data, sizeof count);
    }
    FReportedRowCount = count;
  }
  return status != FAIL;
}

// Reads the rows of the current result to its end; false when a fetch failed.
bool TTessel::SkipRows() {
  int status;
  do {
    status = dbnextrow(FDBProcess);
  } while (status == REG_ROW || status > 0);
  return status != FAIL;
}

void TTessel::InternalOpen() {
  FAllFetched = false;
  FCursorOpen = false;
  InternalExecSQL(qtQuery);
  if (FCancelAsync) return;
  DescribeColumns();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  LayoutRecord();
  FBlobList->Add("");
  if (FCacheAllRecords) FillCache();
}

void TTessel::InternalClose() {
  StopAsync();
  FCursorOpen = false;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FFieldOffsets.clear();
  FColumnReads.clear();
  FColumnSizes.clear();
  FColumnShapes.clear();
  FColumnNames.clear();
  FLastRecordId = 0;
  FCurrentIndex = -1;
  FAllFetched = false;
  FRecordCache.ClearBuffers();
  FLocateIndexes.reset();
  if (FBlobList) FBlobList->Clear();
  FBlobContents.clear();
  FReadBlobHandles.clear();
  FColumnLimits.clear();
  if (FDBProcess != nullptr) Disconnect();
  FResultPending = false;
}

void TTessel::Disconnect() {
  if (FDataBaseName == nullptr) return;
  const bool pending = FResultPending;
  FResultPending = false;
  if (FPrepared) {
    // Rows still pending would make the DROP PROCEDURE fail.
    if (FDBProcess != nullptr) dbcancel(FDBProcess);
    Unprepare();
  }
  if (FDBProcess == nullptr) return;
  // Rows of a result given up unread (an open that failed after its
  // statement ran) must not stay on the connection others share.
  if (pending && FDataBaseName->IsBaseProcess(FDBProcess)) dbcancel(FDBProcess);
  // A query being destroyed gives its connection back for good.
  if (ComponentState().Contains(csDestroying)) {
    FDataBaseName->CloseConnection(FDBProcess);
  } else {
    FDataBaseName->DropConnection(this, FDBProcess);
  }
}

void TTessel::CloseQueryCursor() {
  Close();
  if (FDBProcess != nullptr) Disconnect();
}

}  // namespace tessel
