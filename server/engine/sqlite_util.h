#pragma once

// Owners for SQLite handles and moving Stored values in and out of SQLite.
// Engine-internal: sqlite3.h stays inside server/engine.

#include <sqlite3.h>

#include <memory>
#include <string>

#include "convert.h"
#include "sqld/engine.h"

namespace tessel::sqld::engine {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Stored storedFromSqlite(sqlite3_value* v);
Stored columnStored(sqlite3_stmt* s, int i);
void bindStored(sqlite3_stmt* s, int i, const Stored& v);
void resultStored(sqlite3_context* c, const Stored& v);

// SQL Server errors raised inside SQLite functions travel as SQLite error
// texts in this form; the executor turns them back into SqlError.
std::string encodeErrorText(const Message& m, bool batchScope);
bool decodeErrorText(std::string_view text, Message& m, bool& batchScope);
// Called inside a catch (...) around a SQL function's work: hands the failure
// to SQLite as the statement's error, a server error with its number and a
// cancel as an interrupt.
void resultCurrentError(sqlite3_context* c);

// A function argument's text as UTF-8, empty for NULL; valid until the
// value changes.
std::string_view valueText(sqlite3_value* v);

// "name" with inner quotes doubled.
std::string quoteName(std::string_view name);
// 'text' with inner quotes doubled.
std::string quoteText(std::string_view text);

}  // namespace tessel::sqld::engine

#include <functional>
#include <stdexcept>
#include <vector>

namespace tessel::sqld::engine {

// A failed SQLite call: its extended result code and message.
// Resets a cached statement when a use of it ends, however it ends.
struct StatementUse {
  sqlite3_stmt* stmt;
  ~StatementUse() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
};

class SqliteFailure : public std::runtime_error {
 public:
  SqliteFailure(int code, std::string message)
      : std::runtime_error(std::move(message)), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

SqliteStatement prepare(sqlite3* db, const std::string& sql);
// Runs SQL that returns no rows (several statements allowed when no params).
void execSql(sqlite3* db, const std::string& sql, const std::vector<Stored>& params = {});
// Runs a query and calls `row` for each row.
void querySql(sqlite3* db, const std::string& sql, const std::vector<Stored>& params,
              const std::function<void(sqlite3_stmt*)>& row);
// Throws SqliteFailure for the connection's last error.
[[noreturn]] void throwLastError(sqlite3* db, int rc);

}  // namespace tessel::sqld::engine
