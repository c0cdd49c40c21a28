#pragma once

// What all sessions of one engine share: where the database files live and
// which databases exist. Database files are created under a mutex; each
// session opens its own SQLite connection to them (WAL mode, so readers
// never wait for writers). tempdb is one of these files, made anew each time
// the engine starts (without it, when that fails, the engine still starts);
// sessions keep their #temporary objects to themselves. Before anything
// opens a file, a transaction a crash left committed in some databases only
// is rolled back (atomic_commit.cpp).
// The memory mode keeps the files in a private temporary directory that is
// removed with the engine.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "rowversion.h"
#include "sequences.h"
#include "settings.h"
#include "sqld/engine.h"
#include "write_locks.h"

struct sqlite3;

namespace tessel::sqld::engine {

class EngineState {
 public:
  explicit EngineState(const EngineOptions& options);
  ~EngineState();
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;

  const EngineOptions& options() const { return options_; }
  // The file of a database; names are checked before they reach a path.
  std::string pathFor(const std::string& name) const;
  bool exists(const std::string& name) const;
  // Creates the file with its catalog and default collation (ids as in
  // TypeInfo::collation). Throws SqlError 1801 if it exists.
  void createDatabase(const std::string& name, std::uint16_t collation = 0);
  // The default collation of a database; the server's (0) for one that does
  // not exist.
  std::uint16_t collationOf(const std::string& name) const;
  // ALTER DATABASE ... COLLATE, by session `spid`: error 911 for no such
  // database, 3708 for a system one, 5030 while another session uses it,
  // 5075 naming the first of `dependents`, objects that depend on the old
  // collation (unless the collation stays as it is).
  void alterCollation(const std::string& name, std::uint16_t collation, std::int32_t spid,
                      const std::vector<std::string>& dependents);
  // Removes the database's files and its row in master. Throws SqlError 3701
  // when there is no such database, 3708 for a system one and 3702 while it
  // is some session's current database.
  void dropDatabase(const std::string& name);
  // How many databases were dropped: a session that sees it change lets go
  // of the files it attached, which may be gone.
  std::uint64_t dropCount() const { return drops_.load(std::memory_order_acquire); }
  // The spelling the database was created with.
  std::string canonicalName(const std::string& name) const;
  std::int64_t nextTransactionDescriptor();
  // The number a transaction that writes several databases commits under;
  // higher than any number of a previous start.
  std::int64_t nextCommitId();
  // Empty when tempdb was made at start, otherwise why it could not be.
  const std::string& tempdbError() const { return tempdbError_; }

  // Sessions by spid, so that KILL can reach another session.
  using KillFlag = std::shared_ptr<std::atomic<bool>>;
  void registerSession(std::int32_t spid, KillFlag flag, const LoginInfo& login);
  void unregisterSession(std::int32_t spid, const KillFlag& flag);
  // False when no session has that spid.
  bool kill(std::int32_t spid);
  // Makes `name` the session's current database, as DROP DATABASE checks it;
  // false when the database no longer exists.
  bool setSessionDatabase(std::int32_t spid, const std::string& name);
  // The sessions open now, by spid, with the time each logged in.
  struct SessionEntry {
    KillFlag flag;
    LoginInfo login;
    std::chrono::system_clock::time_point loginTime;
    std::string database;  // current, lower case
    // As the session last published them (publishSession).
    Settings settings;
    int openTransactions = 0;
    bool busy = false;  // running a request
  };
  // What the session views show of a session: called as each request starts
  // and ends.
  void publishSession(std::int32_t spid, const Settings& settings, int openTransactions, bool busy);
  std::vector<SessionEntry> sessions() const;

  // The write locks of the databases (write_locks.h).
  WriteLocks& writeLocks() { return writeLocks_; }
  // The counters of the sequences of all databases (sequences.h).
  SequenceCounters& sequences() { return sequences_; }
  // The timestamp counters of all databases (rowversion.h).
  RowversionCounters& rowversions() { return rowversions_; }
  // The databases a database user may use besides master and tempdb, its
  // default first, lower case; null for a login that may do everything.
  const std::vector<std::string>* userDatabases(const std::string& login) const;

 private:
  void createFile(const std::string& name, std::uint16_t collation = 0);
  void loadCollations();
  // Writes a database's collation to its file `db` and to collations_.
  // Under mutex_.
  void keepCollation(sqlite3* db, const std::string& name, std::uint16_t collation);
  void warn(const std::string& text) const;
  void recover();
  void reindexFiles();

  EngineOptions options_;
  std::string directory_;
  bool ownsDirectory_ = false;
  int lockFd_ = -1;  // the data folder's lock, held while the engine lives
  std::string tempdbError_;
  mutable std::mutex mutex_;
  std::set<std::string> names_;                    // GUARDED_BY(mutex_), lower case
  std::int64_t descriptor_ = 0;                    // GUARDED_BY(mutex_)
  std::int64_t commitId_ = 0;                      // GUARDED_BY(mutex_)
  std::map<std::int32_t, SessionEntry> sessions_;  // GUARDED_BY(mutex_)
  std::atomic<std::uint64_t> drops_{0};
  WriteLocks writeLocks_;
  SequenceCounters sequences_;
  RowversionCounters rowversions_;
  std::map<std::string, std::vector<std::string>> databaseUsers_;  // lower case
  // The databases whose collation is not the server's, lower case.
  std::map<std::string, std::uint16_t> collations_;  // GUARDED_BY(mutex_)
};

// Database names are plain identifiers so that they map safely onto files.
bool validDatabaseName(const std::string& name);

}  // namespace tessel::sqld::engine
