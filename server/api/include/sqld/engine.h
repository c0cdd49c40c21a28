#pragma once

// The narrow interface between the TDS listener and the engine that executes
// requests. The listener owns sockets, packets and logins; the engine owns
// databases, SQL and procedures. One Session serves one client connection and
// is used by one thread at a time; an Engine is shared by all sessions.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sqld/values.h"

namespace tessel::sqld {

// An error or informational message as SQL Server sends it. Severity above 10
// travels as an ERROR token, 10 and below as INFO.
struct Message {
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 0;
  std::string text;
  std::string procName;
  std::int32_t line = 1;
};

// The end of one statement (kind Done), of a procedure's statement (DoneInProc)
// or of a procedure call (DoneProc).
struct Done {
  enum class Kind : std::uint8_t { Done, DoneInProc, DoneProc };
  Kind kind = Kind::Done;
  bool more = false;            // further results follow in this request
  bool error = false;           // the statement failed
  bool countValid = false;      // rowCount is meaningful
  bool attention = false;       // acknowledges a cancel (set by the listener only)
  std::uint16_t curCmd = 0xC1;  // the statement's token, as SQL Server reports it (SELECT 0xC1 ...)
  std::uint64_t rowCount = 0;
};

// FOR BROWSE: where a result column comes from. `table` is a 1-based index
// into the result's base tables, 0 for an expression; `name` is the column's
// name in that table.
struct BrowseColumn {
  std::uint8_t table = 0;
  std::string name;
};

struct ReturnValue {
  std::string name;  // with its leading "@"
  Column column;     // type of the output parameter
  Value value;
  std::uint16_t ordinal = 0;
};

// Where the engine streams what a request produces, in order. The listener
// turns each call into tokens; nothing is buffered beyond one packet.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  // Starts a result set; rows follow.
  virtual void metadata(std::span<const Column> columns) = 0;
  virtual void row(std::span<const Value> values) = 0;
  // ORDER BY columns of the current result set (1-based), if any.
  virtual void order(std::span<const std::uint16_t> columns) { (void)columns; }
  // SELECT ... FOR BROWSE: the base tables of the current result set and
  // where each column comes from, after its metadata.
  virtual void browseInfo(std::span<const std::string> tables,
                          std::span<const BrowseColumn> columns) {
    (void)tables, (void)columns;
  }
  virtual void done(const Done& done) = 0;
  virtual void message(const Message& message) = 0;
  // The database of the session changed. The listener sends the ENVCHANGE and
  // message 5701 ("Changed database context to ..."); the engine sends neither.
  virtual void databaseChanged(std::string_view newName, std::string_view oldName) = 0;
  // The new current database has another default collation (ids as in
  // TypeInfo::collation); the listener sends the collation ENVCHANGE.
  virtual void collationChanged(std::uint16_t newCollation, std::uint16_t oldCollation) {
    (void)newCollation, (void)oldCollation;
  }
  enum class TransactionEvent : std::uint8_t { Begin, Commit, Rollback };
  // Descriptors are the 8-byte transaction descriptors of TDS 7.2 and later;
  // 0 means none.
  virtual void transactionChanged(TransactionEvent event, std::uint64_t newDescriptor,
                                  std::uint64_t oldDescriptor) = 0;
  virtual void returnStatus(std::int32_t status) = 0;
  virtual void returnValue(const ReturnValue& value) = 0;
};

// Set by the listener when the client sends ATTENTION. The engine checks it
// between rows and at least every 10 ms while it waits (WAITFOR, locks), and
// then stops the request quickly; the listener sends the acknowledgement.
class CancelFlag {
 public:
  bool requested() const { return requested_.load(std::memory_order_acquire); }
  void request() { requested_.store(true, std::memory_order_release); }
  void reset() { requested_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> requested_{false};
};

// The value of a table-valued parameter: rows for a user-defined table type.
// Each row holds a value for every column; a column the client leaves to the
// type's default is marked in `defaulted` and its values are NULL.
struct TableParam {
  std::string typeSchema;  // as the client named the type (may be empty)
  std::string typeName;
  std::vector<TypeInfo> columns;  // the types the values travel in
  std::vector<bool> defaulted;
  std::vector<std::vector<Value>> rows;
  bool isNull = false;  // the client sent no table at all
};

struct RpcParam {
  std::string name;  // with its leading "@", or empty for a positional argument
  TypeInfo type;
  Value value;
  bool output = false;
  bool byDefault = false;                   // the client asked for the parameter's default
  std::shared_ptr<const TableParam> table;  // set for a table-valued parameter
};

// A remote procedure call. Calls by well-known id (sp_executesql, sp_prepare,
// sp_execute, sp_unprepare ...) arrive here already named by the listener.
struct RpcRequest {
  std::string procName;
  bool recompile = false;
  bool noMetadata = false;
  std::vector<RpcParam> params;
};

// The rows of a bulk-load message, decoded by the listener as the engine
// reads them. The listener has checked the whole message before the engine
// sees it, so next() does not fail.
class BulkRowReader {
 public:
  virtual ~BulkRowReader() = default;
  // The columns the client sends, by name, with the types their values have.
  virtual const std::vector<Column>& columns() const = 0;
  // Fills `row` with the next row's values; false after the last row.
  virtual bool next(std::vector<Value>& row) = 0;
  // Reads column `column`'s char, varchar and text values as characters of
  // code page `codePage` (its target column's) rather than of the collation
  // the client described them with.
  virtual void readTextAs(std::size_t column, int codePage) {
    (void)column;
    (void)codePage;
  }
};

// What a session waits for after INSERT BULK (rows) or WRITETEXT BULK (text).
enum class BulkWait : std::uint8_t { None, Rows, Text };

struct LoginInfo {
  std::string user;
  std::string database;  // requested initial database; empty for the default
  std::string appName;
  std::string hostName;
  std::string language;
  std::uint32_t tdsVersion = 0x71000001;
  bool odbc = false;  // an ODBC login turns the ANSI options and QUOTED_IDENTIFIER on
  std::int32_t spid = 51;
  std::string clientAddress;  // the peer's IP address; empty in process
  std::uint16_t clientPort = 0;
};

class Session {
 public:
  virtual ~Session() = default;
  // Runs a SQL batch (text already decoded to UTF-8). Ends with the last
  // statement's Done (more=false) unless the request was cancelled.
  virtual void executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag& cancel) = 0;
  virtual void executeRpc(const RpcRequest& request, ResultSink& sink,
                          const CancelFlag& cancel) = 0;
  // Transaction Manager requests of TDS 7.2 and later, as BEGIN, COMMIT,
  // ROLLBACK and SAVE TRANSACTION with the request's name (empty for none).
  enum class TransactionRequest : std::uint8_t { Begin, Commit, Rollback, Save };
  virtual void transaction(TransactionRequest request, std::string_view name, ResultSink& sink) = 0;
  // The isolation level a Transaction Manager request names, as its byte
  // carries it (1 read uncommitted ... 4 serializable, 5 snapshot).
  virtual void setIsolationLevel(std::uint8_t /*level*/) {}
  virtual std::string currentDatabase() const = 0;
  // The default collation of the current database (TypeInfo::collation's ids).
  virtual std::uint16_t currentCollation() const { return 0; }
  // True once another session ended this one with KILL: the listener closes
  // the connection after the current request. May be read from any thread.
  virtual bool terminated() const { return false; }
  // 8-byte descriptor of the open transaction, 0 if none.
  virtual std::uint64_t transactionDescriptor() const = 0;

  // Bulk loads. A batch whose INSERT BULK or WRITETEXT BULK succeeded leaves
  // the session waiting for the data, which the client sends next as a
  // bulk-load message; any other request ends the wait (abandonBulk).
  virtual BulkWait bulkWait() const { return BulkWait::None; }
  virtual void abandonBulk() {}
  // Inserts the rows; the response ends with a Done counting them. Either
  // all rows are inserted or, after an error, none.
  virtual void bulkRows(BulkRowReader& rows, ResultSink& sink, const CancelFlag& cancel) {
    (void)rows, (void)sink, (void)cancel;
  }
  // The value of WRITETEXT BULK as it travels: code page 1252 text for text,
  // UCS-2LE for ntext, bytes for image.
  virtual void bulkText(std::string bytes, ResultSink& sink) { (void)bytes, (void)sink; }
};

struct EngineOptions {
  std::optional<std::string> dataDirectory;  // one SQLite file per database; none = in memory
  std::string serverName = "TESSEL";
  // How long a writer waits for another writer, as a session starts with it
  // (SET LOCK_TIMEOUT): -1, as in SQL Server, waits until the lock is free
  // or the client cancels (its query time-out sends an attention).
  std::int32_t lockTimeoutMs = -1;
  // Logins that are database users rather than administrators, by lower-case
  // name, with the databases each may use besides master and tempdb (the
  // first is its default database). Any other login, sa among them, may do
  // everything.
  std::map<std::string, std::vector<std::string>> databaseUsers;
  // Told what the engine could not do at start and went on without (no
  // tempdb on a full disk), and what it repaired (a half-committed
  // transaction rolled back); one line each.
  std::function<void(const std::string&)> warning;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // Opens a session in the login's database (or the default one). When the
  // database cannot be opened, returns null and fills `error` (4060 ...).
  virtual std::unique_ptr<Session> openSession(const LoginInfo& login, Message& error) = 0;
  virtual std::string defaultDatabase() const = 0;
};

// The SQLite engine (server/engine).
std::unique_ptr<Engine> createSqliteEngine(const EngineOptions& options);

}  // namespace tessel::sqld
