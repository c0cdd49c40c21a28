#pragma once

// The timestamp (rowversion) counter of each database: every INSERT and
// UPDATE of a row of a table with a timestamp column gives the row the next
// value, unique and increasing within its database. The engine hands values
// out from one counter per database shared by all sessions, so a value is
// never given twice even when the transaction that took it rolls back; each
// value taken is also written to the database (_tessel_dbts) so that the
// counter survives a restart.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace tessel::sqld::engine {

// @@DBTS of a database that has not stamped a row yet.
constexpr std::uint64_t kFirstDatabaseTimestamp = 2000;

class RowversionCounters {
 public:
  // Takes the next value of `database`, loading the last one given with
  // `load` when the engine has not seen the database yet.
  std::uint64_t next(const std::string& database, const std::function<std::uint64_t()>& load);
  // The last value given (@@DBTS).
  std::uint64_t current(const std::string& database, const std::function<std::uint64_t()>& load);

 private:
  std::uint64_t& counter(const std::string& database, const std::function<std::uint64_t()>& load);
  std::mutex mutex_;
  std::map<std::string, std::uint64_t> last_;  // GUARDED_BY(mutex_), lower-case names
};

// A timestamp value as it is stored and shown: eight bytes, most
// significant first.
std::string timestampBytes(std::uint64_t value);

}  // namespace tessel::sqld::engine
