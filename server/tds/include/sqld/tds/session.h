#pragma once

// One client connection from PRELOGIN to close. run() is the session thread;
// after login it starts a reader thread that keeps reading the socket while a
// request runs, so ATTENTION reaches the engine through the CancelFlag at
// once. stop() may be called from any thread. The session owns its transport,
// its engine session and both threads.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sqld/engine.h"
#include "sqld/tds/credentials.h"
#include "sqld/tds/log.h"
#include "sqld/tds/login.h"
#include "sqld/tds/packet.h"
#include "sqld/tds/read_ahead.h"
#include "sqld/tds/smp.h"
#include "sqld/tds/tls_context.h"
#include "sqld/tds/tls_transport.h"
#include "sqld/tds/token_writer.h"
#include "sqld/tds/transport.h"

namespace tessel::sqld::tds {

struct SessionSettings {
  std::string serverName = "TESSEL";
  int idleTimeoutSeconds = 0;  // 0: never drop an idle client
  // From the connection to its LOGIN7: a client that logs in sends PRELOGIN
  // and LOGIN7 at once, so a few seconds suffice.
  int loginTimeoutSeconds = 5;
  std::size_t maxMessageSize = std::size_t{64} << 20;
  // Requests read while one runs, in number and in bytes. Beyond either the
  // session stops reading its socket (the client waits on TCP) until the
  // requests ahead have run; the message being read counts with its bytes.
  std::size_t maxQueuedRequests = 64;
  std::size_t maxReadAheadBytes = std::size_t{4} << 20;
  // Asked when the LOGIN7 arrives: takes a place among the logged-in
  // sessions and returns 0, or returns the session limit when every place is
  // taken, and the login is refused with error 17809 naming it. Unset: admitted.
  std::function<std::size_t()> admit;
  // Shared by the sessions of a listener: bounds what they read ahead
  // together, as maxReadAheadBytes bounds one. Null: no shared bound.
  std::shared_ptr<ReadAheadBudget> readAhead;
  // The server's TLS identity (null: encryption is not supported) and what
  // it asks of clients.
  std::shared_ptr<const TlsContext> tls;
  EncryptMode encrypt = EncryptMode::Off;
};

class TdsSession {
 public:
  TdsSession(std::unique_ptr<Transport> transport, Engine& engine, const Credentials& credentials,
             const SessionSettings& settings, Log& log, std::uint16_t spid, std::string peer);
  ~TdsSession();
  TdsSession(const TdsSession&) = delete;
  TdsSession& operator=(const TdsSession&) = delete;

  // Serves the connection until the client leaves, a failure ends it or
  // stop() is called. Never throws.
  void run();
  void stop();
  std::uint16_t spid() const { return spid_; }
  const std::string& peer() const { return peer_; }

 private:
  struct Item {
    enum class Kind { Request, Attention, EndOfStream, Failed, IdleTimeout, Stop };
    Kind kind = Kind::Request;
    IncomingMessage message;
    std::string reason;
    std::uint16_t channel = 0;  // the multiplexed session it came on
  };

  bool handshake();
  // Answers PRELOGIN and sets up TLS as agreed; `strict`: TLS came first
  // (TDS 8.0) and nothing is left to agree on.
  void preLogin(const IncomingMessage& message, bool strict, Encryption& outcome);
  std::optional<IncomingMessage> readLoginMessage();
  int loginTimeoutMs() const;
  void refuseLogin(const Message& first, const std::string& user);
  void sendLoginResponse(std::uint32_t packetSize);
  void serve();
  void handleRequest(IncomingMessage& message);
  // True once another session has ended this one with KILL.
  bool killed();
  // A fresh engine session for the same login, as the reset-connection
  // status bit and the sp_reset_connection call ask for.
  void resetSession(bool keepTransaction);
  void handleTransaction(const IncomingMessage& message);
  template <typename Fn>
  void runRequest(Done::Kind closing, Fn&& fn);
  void acknowledgeAttention();
  void sendAttentionAck();
  void sendError(const Message& m);
  void readLoop();
  void push(Item item);
  Item pop();
  // The reader thread's packet gate: blocks while this session holds more
  // unrun request bytes or requests than it may (see SessionSettings).
  void waitForRoom(std::size_t partial);
  void requestEnded();
  // Brings this session's share of settings_.readAhead up to date; mutex_ held.
  void account();
  bool idleExpired() const;
  void touch();
  void logLine(const std::string& text);

  std::unique_ptr<Transport> transport_;
  SmpTransport* smp_;            // transport_ itself: plain until the client multiplexes
  TlsTransport* tls_ = nullptr;  // under smp_ when the server has a TLS identity
  Engine& engine_;
  const Credentials& credentials_;
  SessionSettings settings_;
  Log& log_;
  const std::uint16_t spid_;
  const std::string peer_;

  // Session thread only, except reader_, which passes to the reader thread
  // once it starts and is never touched by the session thread again.
  MessageReader reader_;
  PacketWriter writer_;
  TokenWriter tokens_;
  std::unique_ptr<Session> session_;
  LoginInfo login_;               // what the engine session was opened with
  bool resetAckPending_ = false;  // the next response starts with the reset acknowledgement
  // The transaction a reset rolled back; announced with the acknowledgement so
  // that clients tracking the descriptor know it has ended.
  std::uint64_t resetRolledBack_ = 0;
  std::string user_;
  std::uint32_t version_ = 0;
  bool mars_ = false;  // PRELOGIN agreed on multiple active result sets
  std::thread readerThread_;

  CancelFlag cancel_;  // set by the reader thread and stop(), reset by the session thread
  std::atomic<bool> busy_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> lastActivityMs_{0};

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> queue_;         // guarded by mutex_
  bool pendingAttention_ = false;  // guarded by mutex_: ATTENTION not yet acknowledged
  std::condition_variable room_;   // the reader waits here for requests to run
  bool running_ = false;           // guarded by mutex_: a popped request has not ended
  std::size_t queuedBytes_ = 0;    // guarded by mutex_: payload bytes in queue_
  std::size_t partialBytes_ = 0;   // guarded by mutex_: of the message being read
  std::size_t accounted_ = 0;      // guarded by mutex_: what this session counts in readAhead
};

}  // namespace tessel::sqld::tds
