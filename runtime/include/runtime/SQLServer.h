#pragma once

// The connection component and its error reporting.
//
// TSQLServer holds the login properties, proves the login when it opens, and
// lends DB-Library connections to the queries attached to it: one shared base
// connection, opened on first need and replaced when found dead, and private
// connections opened on request and owned by the caller until given back with
// DropConnection. It owns none of its queries. Transactions run on the base
// connection only. Main thread only, except that a query's worker thread may
// call GetConnection(query, false) while the main thread leaves the server
// alone.
//
// Server and client-library errors reach DBMsgHandler and DBErrHandler, which
// record the last one process-wide; CheckDBResult turns a failed call into
// ElqSQLError with what was recorded.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/db_types.h"
#include "framework/exceptions.h"
#include "runtime/lqSQLdb.h"

namespace tessel {

class TSQLServer;

// The client network library a server asks for. Anything but nlConfigured
// is written as the machine's default before the login (see ChangeNetLib).
enum TNetLibrary : std::uint8_t { nlConfigured, nlNamedPipes, nlMultiProtocol, nlIPX, nlTCPIP };

using TLoginEvent = std::function<void(TSQLServer* Database)>;
using TTraceEvent = std::function<void(const char* TraceMessage)>;

// What the server or the client library reported. ErrorCode is the server's
// message number, -1 for a client-library error, 0 if nothing was recorded.
class ElqSQLError : public EDatabaseError {
 public:
  ElqSQLError(int error_code, const std::string& msg)
      : EDatabaseError(msg), error_code_(error_code), error_message_(msg) {}
  int ErrorCode() const { return error_code_; }
  const std::string& ErrorMessage() const { return error_message_; }

 private:
  int error_code_;
  std::string error_message_;
};

// The part of a query that its connection component calls; the query dataset
// implements it. A query registers with AddQuery when it is given a server
// and leaves with RemoveQuery.
class TlqServerQuery {
 public:
  virtual ~TlqServerQuery() = default;
  // Closes the query's open result; it gives its connection back through
  // DropConnection.
  virtual void CloseQueryCursor() = 0;
  // Whether the statement is prepared as a temporary procedure.
  virtual bool QueryPrepared() const = 0;
  // The connection the query holds now, or nullptr.
  virtual PDBPROCESS QueryConnection() const = 0;
  // Drops the temporary procedure of a prepared statement.
  virtual void UnPrepareQuery() = 0;
  // Clears the query's server (its DataBaseName): closes it and calls
  // RemoveQuery on this server.
  virtual void DetachFromServer() = 0;
};

class TSQLServer : public TComponent {
 public:
  explicit TSQLServer(TComponent* owner);
  // Closes the server, detaches every query, and puts back the trace routine
  // that RegisterTraceCallback replaced (none if it never registered one).
  ~TSQLServer() override;

  // Published properties, in their published order.
  const std::string& ApplicationName() const { return FApplicationName; }
  void SetApplicationName(const std::string& value) { FApplicationName = value; }
  const std::string& ServerName() const { return FServerName; }
  void SetServerName(const std::string& value) { FServerName = value; }
  const std::string& DataBaseName() const { return FDataBaseName; }
  void SetDataBaseName(const std::string& value) { FDataBaseName = value; }
  const std::string& Username() const { return FUsername; }
  void SetUsername(const std::string& value) { FUsername = value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  bool KeepConnections() const { return FKeepConnections; }  // default false
  void SetKeepConnections(bool value) { FKeepConnections = value; }
  bool Connected() const { return FConnected; }  // default false
  // While the component is being read from a form file the value is only
  // remembered and applied by Loaded; otherwise true opens and false closes.
  void SetConnected(bool value);
  bool OEMConvert() const { return FOEMConvert; }  // default false
  void SetOEMConvert(bool value) { FOEMConvert = value; }
  TNetLibrary NetLibrary() const { return FNetLibrary; }  // default nlConfigured
  void SetNetLibrary(TNetLibrary value) { FNetLibrary = value; }
  int ServerTimeout() const { return FServerTimeout; }  // seconds, default 30
  void SetServerTimeout(int value) { FServerTimeout = value; }
  bool TrustedLogin() const { return FTrustedLogin; }  // default false
  void SetTrustedLogin(bool value) { FTrustedLogin = value; }
  // Called during Open before the login properties are read, so it may set them.
  const TLoginEvent& OnLogin() const { return FOnLogin; }
  void SetOnLogin(TLoginEvent value) { FOnLogin = std::move(value); }

  // Loads the client library, installs the handlers, builds the login record
  // and proves it (and that DataBaseName, when not empty, can be selected)
  // with a test connection that is closed again. Does nothing when connected. Raises ElqDBLIBError,
  // ElqSQLError, or EDatabaseError with SNoConnection when opening the test connection itself
  // raised.
  void Open();
  // Closes every attached query's cursor (last attached first) and every
  // private connection, then the base connection; restores the handlers and
  // frees the login record. Does nothing when not connected.
  void Close();
  bool IsSQLbased() const { return true; }

  // Shared: the base connection (opened if missing or dead; a dead one that
  // no attached query holds is closed). Otherwise a new
  // connection owned by the caller. Opens the server if needed.
  PDBPROCESS GetConnection(TlqServerQuery* Query, bool Shared);
  PDBPROCESS GetBaseProcess();
  // Opens and prepares a new connection: database selected, query time-out,
  // OEM option, text size and limit, no pending results. A DataBaseName that
  // cannot be selected closes the connection and raises the server's error.
  PDBPROCESS InternalOpenConnection();
  // Gives a connection back. With KeepConnections its pending results are
  // cancelled and the caller keeps it; otherwise it is closed unless it is
  // the base connection, and Connection becomes nullptr.
  void DropConnection(TlqServerQuery* Query, PDBPROCESS& Connection);
  // Closes a connection for good whatever KeepConnections says, unless it is the
  // base connection or another attached query still holds it; Connection becomes nullptr.
  void CloseConnection(PDBPROCESS& Connection);
  // Whether Connection was the base connection and has been replaced (found
  // dead, or forgotten after a transaction) while a query still held it. Such
  // a query gives it up before its next statement.
  bool IsFormerBase(PDBPROCESS Connection) const;
  // Whether Connection is the current base connection (opens nothing).
  bool IsBaseProcess(PDBPROCESS Connection) const {
    return Connection != nullptr && Connection == FBaseProcess;
  }

  // Attach and detach a query (nullptr is ignored); a query attached twice is
  // listed twice and RemoveQuery takes away its first entry.
  void AddQuery(TlqServerQuery* Query);
  void RemoveQuery(TlqServerQuery* Query);
  int QueryCount() const { return static_cast<int>(FQueries.size()); }
  TlqServerQuery* Queries(int index) const { return FQueries.at(index); }

  // Tracing for the whole process (SQLTraceActive); RegisterTraceCallback
  // keeps the routine it replaces and the destructor puts it back.
  void DBTrace(bool Value);
  void RegisterTraceCallback(TTraceRoutine Routine);

  // Transactions on the base connection. StartTransaction raises
  // EDatabaseError with STransactActive when one is open; Commit and RollBack
  // raise it with STransactInActive when none is. Commit and RollBack
  // unprepare the queries prepared on the base connection and give the base
  // connection back (without KeepConnections the next use opens a new one).
  void StartTransaction();
  void Commit();
  void RollBack();
  bool InTransaction() const { return FTransActive; }
  // Runs one statement on the base connection; true, or ElqSQLError.
  bool InternalExecute(const std::string& SQL);
  // "#", the component name (or "NoName"; a name of 24 characters or more
  // is cut to 21 and followed by two characters of DataBaseName) and a
  // per-server counter of at least six digits.
  std::string GetProcname();

  // Records NetLibrary as the machine's default DB-Library network library:
  // "DSQUERY=<name>" (DBNMPNTW, DBMSRPCN, DBMSSPXN or DBMSSOCN) under the line
  // "[SOFTWARE\MICROSOFT\MSSQLServer\Client\ConnectTo\]" of the client
  // library's settings file, /etc/tessel/dblib.conf, or the file named by
  // TESSEL_DBLIB_CONF (for tests, and for users who cannot write to /etc).
  // Other lines of the file are kept. Open calls it only when NetLibrary is
  // not nlConfigured. Returns false, changing nothing, on any failure.
  bool ChangeNetLib();

  // The network packet size remembered for reading text and image values;
  // 0 until a query first asks the client library for it.
  int PacketSize() const { return FPacketSize; }
  void SetPacketSize(int value) { FPacketSize = value; }

  // After a form file was read: a server saved as connected opens now.
  void Loaded() override;

 private:
  void PrepareLoginRecord();
  PDBPROCESS OpenProcess();
  void SelectDatabase(PDBPROCESS connection);
  void EndTransaction(const char* statement);
  bool HeldByQuery(PDBPROCESS connection) const;
  // A base connection just replaced: closed unless a query holds it, then
  // remembered in FFormerBases until the last holder gives it up.
  void ForgetBase(PDBPROCESS connection);
  // Handlers are counted over every open server of the process.
  void InstallHandlers();
  void RestoreHandlers();

  std::string FServerName;
  std::string FDataBaseName;
  std::string FUsername;
  std::string FPassword;
  bool FKeepConnections = false;
  PLOGINREC FLoginRec = nullptr;
  bool FConnected = false;
  bool FOEMConvert = false;
  int FServerTimeout = 30;
  int FPacketSize = 0;
  bool FTransActive = false;
  PDBPROCESS FBaseProcess = nullptr;
  DBMSGHANDLE_PROC FOldMsgHandler = nullptr;
  DBERRHANDLE_PROC FOldErrHandler = nullptr;
  TTraceRoutine FOldTraceCallback = nullptr;
  std::vector<TlqServerQuery*> FQueries;  // not owned, in order of attachment
  std::vector<PDBPROCESS> FFormerBases;   // replaced base connections still held
  int FProcCount = 0;
  TLoginEvent FOnLogin;
  bool FTrustedLogin = false;
  bool FStreamedConnected = false;
  TNetLibrary FNetLibrary = nlConfigured;
  std::string FApplicationName;
};

// The handlers Open installs. They record the last server message of
// severity above 0, or the last client-library error, and never raise.
int DBMsgHandler(PDBPROCESS dbproc, DBINT msgno, int msgstate, int severity, const char* msgtext,
                 const char* srvname, const char* procname, DBUSMALLINT line);
int DBErrHandler(PDBPROCESS dbproc, int severity, int dberr, int oserr, const char* dberrstr,
                 const char* oserrstr);

// Non-zero: clears the recorded error and returns true. Zero: raises
// ElqSQLError with the recorded server message (number and text, "Undefined
// SQL Server error:<n>" for an empty text) or client-library error (-1).
bool CheckDBResult(int RetCode);
[[noreturn]] void RaiseDatabaseError(const std::string& Msg);
// The DB-Library type token for a parameter's field type; 0 for types that
// have none.
std::uint8_t FieldTypeToDBType(TFieldType FieldType);

// A copy of the recorded error state, shared by every server and thread.
struct TlqRecordedError {
  std::string LastMsgText;
  int LastMsgNo = 0;
  std::string LastErrText;
};
TlqRecordedError RecordedDBError();

}  // namespace tessel
