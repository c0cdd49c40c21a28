#pragma once

// Write locks on databases, one holder each, shared by every session of an
// engine. A session takes the lock of a database before its transaction
// first reads a database it is going to write, so that SQLite's own write
// lock (one writer per file) is free when the write comes and the snapshot
// it writes on is the latest; waiting here follows SET LOCK_TIMEOUT, which
// SQLite cannot do for a transaction that has read already.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace tessel::sqld::engine {

class WriteLocks {
 public:
  enum class Outcome : std::uint8_t {
    Acquired,
    TimedOut,  // the time-out passed with another session holding the lock
    Deadlock,  // waiting would close a cycle of waits: this session is the victim
    Stopped,   // `stop` turned true (cancel, KILL, the client left)
  };

  // Takes `database` for `session`, waiting while another session holds it:
  // without limit for a negative `timeoutMs`, otherwise that long. `stop` is
  // asked every few milliseconds while waiting.
  Outcome acquire(std::int64_t session, const std::string& database, std::int32_t timeoutMs,
                  const std::function<bool()>& stop);
  // Releases every lock `session` holds.
  void releaseAll(std::int64_t session);

 private:
  // True when `session` waiting for `database` would wait for itself.
  bool closesCycle(std::int64_t session, const std::string& database) const;

  std::mutex mutex_;
  std::condition_variable released_;
  std::map<std::string, std::int64_t> holders_;  // GUARDED_BY(mutex_)
  std::map<std::int64_t, std::string> waiting_;  // GUARDED_BY(mutex_)
};

}  // namespace tessel::sqld::engine
