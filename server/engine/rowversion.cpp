// Timestamp (rowversion) values: the engine's counters, the SQLite function
// t_rowversion(schema) that INSERT and UPDATE call for each row they write,
// and @@DBTS.

#include "rowversion.h"

#include <sqlite3.h>

#include "errors.h"
#include "lexer.h"
#include "session.h"

namespace tessel::sqld::engine {

std::uint64_t& RowversionCounters::counter(const std::string& database,
                                           const std::function<std::uint64_t()>& load) {
  auto it = last_.find(database);
  if (it == last_.end()) it = last_.emplace(database, load()).first;
  return it->second;
}

std::uint64_t RowversionCounters::next(const std::string& database,
                                       const std::function<std::uint64_t()>& load) {
  std::lock_guard lock(mutex_);
  return ++counter(database, load);
}

std::uint64_t RowversionCounters::current(const std::string& database,
                                          const std::function<std::uint64_t()>& load) {
  std::lock_guard lock(mutex_);
  return counter(database, load);
}

std::string timestampBytes(std::uint64_t value) {
  std::string bytes(8, '\0');
  for (int i = 7; i >= 0; --i, value >>= 8)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
  return bytes;
}

namespace {

// A session's temporary tables stamp from tempdb's counter; nothing of
// tempdb outlives the engine, so it is not written down.
std::string counterName(const std::string& schema) {
  return iequals(schema, "temp") ? std::string("tempdb") : lower(schema);
}

}  // namespace

void SqliteSession::ensureRowversionTable(const std::string& schema) {
  if (iequals(schema, "temp")) return;
  execSql(db_.get(), "CREATE TABLE IF NOT EXISTS " + quoteName(schema) +
                         "._tessel_dbts(k INTEGER PRIMARY KEY CHECK (k = 1), value INTEGER)");
}

std::uint64_t SqliteSession::loadRowversion(const std::string& schema) {
  std::uint64_t value = kFirstDatabaseTimestamp;
  if (iequals(schema, "temp")) return value;
  try {
    querySql(
        db_.get(), "SELECT value FROM " + quoteName(schema) + "._tessel_dbts WHERE k = 1", {},
        [&](sqlite3_stmt* st) { value = static_cast<std::uint64_t>(sqlite3_column_int64(st, 0)); });
  } catch (const SqliteFailure&) {
    // No table stamped a row in this database yet.
  }
  return value;
}

std::uint64_t SqliteSession::takeRowversion(const std::string& schema) {
  // A session's own temporary tables need no database's lock.
  const bool temporary = iequals(schema, "temp");
  if (!temporary) lockForWrite(schema);
  const std::uint64_t value =
      engine_.rowversions().next(counterName(schema), [&] { return loadRowversion(schema); });
  if (!temporary) {
    rowversionsTaken_.insert(schema);
    execSql(db_.get(),
            "INSERT OR REPLACE INTO " + quoteName(schema) + "._tessel_dbts(k, value) VALUES(1, ?)",
            {Stored::integer(static_cast<std::int64_t>(value))});
  }
  return value;
}

void SqliteSession::keepRowversions() noexcept {
  if (rowversionsTaken_.empty() || !sqlite3_get_autocommit(db_.get())) return;
  auto taken = std::move(rowversionsTaken_);
  rowversionsTaken_.clear();
  for (const auto& schema : taken) {
    try {
      const std::uint64_t last = engine_.rowversions().current(
          counterName(schema), [&] { return loadRowversion(schema); });
      if (loadRowversion(schema) >= last) continue;
      lockForWrite(schema);
      execSql(
          db_.get(),
          "INSERT OR REPLACE INTO " + quoteName(schema) + "._tessel_dbts(k, value) VALUES(1, ?)",
          {Stored::integer(static_cast<std::int64_t>(last))});
    } catch (...) {
      // Gone with its database, or the lock did not come: the next value
      // taken writes the counter again.
    }
  }
}

std::uint64_t SqliteSession::databaseTimestamp() {
  return engine_.rowversions().current(counterName(currentDb_),
                                       [&] { return loadRowversion(currentDb_); });
}

void SqliteSession::registerRowversionFunction() {
  sqlite3_create_function_v2(
      db_.get(), "t_rowversion", 1, SQLITE_UTF8, this,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        try {
          std::string schema = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
          std::string bytes = timestampBytes(self->takeRowversion(schema));
          sqlite3_result_blob(c, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        } catch (...) {
          resultCurrentError(c);
        }
      },
      nullptr, nullptr, nullptr);
}

}  // namespace tessel::sqld::engine
