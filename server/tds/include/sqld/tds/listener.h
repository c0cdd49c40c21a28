#pragma once

// Accepts TDS connections on 127.0.0.1 and runs each in a TdsSession on its
// own thread. start() and stop() belong to the thread that owns the Listener;
// sessions share the Engine, the Credentials and the Log, which must outlive it.

#include <atomic>
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
  std::size_t maxSessions = 256;
  // Connections beyond maxSessions still get a login answer (error 17809)
  // while at most this many of them are open; later ones are closed at once.
  std::size_t maxRefusing = 16;
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
  std::size_t sessionCount() const;

 private:
  struct Running {
    std::shared_ptr<TdsSession> session;
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
    bool refusing = false;  // only answers the login with error 17809
  };

  void acceptLoop();
  void accept();
  void reap(bool all);
  std::uint16_t allocateSpid();  // mutex_ held

  Engine& engine_;
  const Credentials& credentials_;
  ListenerOptions options_;
  Log& log_;
  UniqueFd listenFd_;
  UniqueFd wakeRead_;  // the accept loop wakes up when wakeWrite_ is written
  UniqueFd wakeWrite_;
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  std::list<Running> sessions_;    // guarded by mutex_
  std::size_t serving_ = 0;        // guarded by mutex_: sessions not refusing logins
  std::set<std::uint16_t> spids_;  // guarded by mutex_
};

}  // namespace tessel::sqld::tds
