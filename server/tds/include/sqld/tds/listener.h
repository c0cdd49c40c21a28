#pragma once

// Accepts TDS connections on 127.0.0.1 and runs each in a TdsSession on its
// own thread. Connections that have not logged in yet are bounded and timed
// apart from the sessions, so that clients sending nothing cannot keep others
// out. start() and stop() belong to the thread that owns the Listener;
// sessions share the Engine, the Credentials and the Log, which must outlive it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "sqld/engine.h"
#include "sqld/tds/credentials.h"
#include "sqld/tds/log.h"
#include "sqld/tds/session.h"
#include "sqld/tds/unique_fd.h"

namespace tessel::sqld::tds {

struct ListenerOptions {
  std::uint16_t port = 0;  // 0: any free port
  // Logged-in sessions; a login beyond gets error 17809.
  std::size_t maxSessions = 256;
  // Connections not logged in yet, counted apart from maxSessions. A new
  // connection that finds them all taken takes the place of the one that has
  // waited longest, which is closed. Each has session.loginTimeoutSeconds
  // from its connection to its LOGIN7.
  std::size_t maxPendingLogins = 64;
  // What all sessions together may hold of requests they have not run yet
  // (see SessionSettings::maxReadAheadBytes).
  std::size_t maxReadAheadTotal = std::size_t{256} << 20;
  SessionSettings session;
};

class Listener {
 public:
  Listener(Engine& engine, const Credentials& credentials, ListenerOptions options, Log& log);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds and starts accepting; returns the port. Throws std::runtime_error
  // naming the port when it cannot bind.
  std::uint16_t start();
  // Stops accepting, ends every session and waits for their threads.
  void stop();
  // Logged-in sessions (and logins under way past their admission).
  std::size_t sessionCount() const;
  // Connections still waiting to log in.
  std::size_t pendingCount() const;

 private:
  struct Running {
    std::shared_ptr<TdsSession> session;
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
    std::chrono::steady_clock::time_point accepted;
    bool admitted = false;  // guarded by mutex_: holds a place among maxSessions
    bool closing = false;   // guarded by mutex_: stopped before it logged in
  };

  void acceptLoop();
  void accept();
  // Closes connections that have not logged in within the login time-out.
  void expireLogins();
  bool pending(const Running& r) const;  // mutex_ held
  void reap(bool all);
  std::uint16_t allocateSpid();  // mutex_ held

  Engine& engine_;
  const Credentials& credentials_;
  ListenerOptions options_;
  Log& log_;
  std::shared_ptr<ReadAheadBudget> readAhead_;
  UniqueFd listenFd_;
  UniqueFd wakeRead_;  // the accept loop wakes up when wakeWrite_ is written
  UniqueFd wakeWrite_;
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  std::list<Running> sessions_;    // guarded by mutex_
  std::size_t serving_ = 0;        // guarded by mutex_: admitted sessions
  std::set<std::uint16_t> spids_;  // guarded by mutex_
};

}  // namespace tessel::sqld::tds
