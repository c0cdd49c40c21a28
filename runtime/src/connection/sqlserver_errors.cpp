// Server messages and client-library errors: the two handlers, the recorded
// state they share, and CheckDBResult, which reports it.
//
// The recorded state is process-wide on purpose: DB-Library's handlers are
// process-wide, and an error recorded while one connection worked is the one
// the next failed guarded call reports. A mutex keeps the strings whole when
// a worker thread and the main thread record or report at once.

#include <mutex>
#include <string>

#include "framework/sysutils.h"
#include "runtime/SQLServer.h"

namespace tessel {
namespace {

constexpr int kSQLESMSG = 10007;  // "the server sent messages": they reached DBMsgHandler already

struct RecordedState {
  std::mutex mutex;
  TlqRecordedError error;  // guarded by mutex
};

RecordedState& Recorded() {
  static RecordedState state;
  return state;
}

std::string Text(const char* s) {
  return s != nullptr ? s : "";
}

}  // namespace

int DBMsgHandler(PDBPROCESS, DBINT msgno, int, int severity, const char* msgtext, const char*,
                 const char*, DBUSMALLINT) {
  if (severity <= 0) return 0;  // PRINT output, change of database context ...
  try {
    std::string text = Text(msgtext);
    std::lock_guard lock(Recorded().mutex);
    Recorded().error.LastMsgText = std::move(text);
    Recorded().error.LastMsgNo = msgno;
  } catch (...) {
    // Out of memory while recording: the handler must still return normally.
  }
  return 0;
}

int DBErrHandler(PDBPROCESS, int severity, int dberr, int, const char* dberrstr,
                 const char* oserrstr) {
  if (severity <= 0) return 0;
  if (dberr == kSQLESMSG) return INT_CANCEL;
  try {
    std::string text = Text(dberrstr) + " " + Text(oserrstr);
    std::lock_guard lock(Recorded().mutex);
    Recorded().error.LastErrText = std::move(text);
    Recorded().error.LastMsgNo = -1;
  } catch (...) {
  }
  return INT_CANCEL;
}

bool CheckDBResult(int RetCode) {
  std::unique_lock lock(Recorded().mutex);
  TlqRecordedError& e = Recorded().error;
  if (RetCode != 0) {
    e = TlqRecordedError{};
    return true;
  }
  if (e.LastMsgNo <= 0) {
    const ElqSQLError error(e.LastMsgNo, e.LastErrText);
    lock.unlock();
    throw error;
  }
  if (e.LastMsgText.empty()) e.LastMsgText = Format("Undefined SQL Server error:%d", {e.LastMsgNo});
  const ElqSQLError error(e.LastMsgNo, e.LastMsgText);
  lock.unlock();
  throw error;
}

void RaiseDatabaseError(const std::string& Msg) {
  DatabaseError(Msg);
}

std::uint8_t FieldTypeToDBType(TFieldType FieldType) {
  switch (static_cast<int>(FieldType) & 0x7F) {
    case ftString:
      return 47;  // SQLCHAR
    case ftSmallint:
      return 52;  // SQLINT2
    case ftInteger:
      return 56;  // SQLINT4
    case ftBoolean:
      return 50;  // SQLBIT
    case ftFloat:
      return 62;  // SQLFLT8
    case ftCurrency:
      return 60;  // SQLMONEY
    case ftDateTime:
      return 61;  // SQLDATETIME
    case ftBytes:
      return 45;  // SQLBINARY
    case ftVarBytes:
      return 37;  // SQLVARBINARY
    case ftBlob:
      return 34;  // SQLIMAGE
    case ftMemo:
      return 35;  // SQLTEXT
    default:
      return 0;
  }
}

TlqRecordedError RecordedDBError() {
  std::lock_guard lock(Recorded().mutex);
  return Recorded().error;
}

}  // namespace tessel
