// A server session: one client connection.
//
// States and the functions that move between them:
//
//   Connected --handshake(): PRELOGIN answered--> AwaitLogin
//   Connected/AwaitLogin --handshake(): LOGIN7 accepted--> Idle
//   Connected/AwaitLogin --refuseLogin()--> Closed
//   Idle --serve(): request popped--> Running --runRequest() returns--> Idle
//   Idle --serve(): ATTENTION popped--> Idle (standalone acknowledgement)
//   any --client closes, malformed message, idle time-out, stop()--> Closed
//
// Invariants:
//  1. Only the session thread writes responses; only one thread reads the
//     socket (the session thread during the handshake, the reader thread
//     after). Under MARS the reader thread also sends the multiplexing
//     layer's acknowledgements and the replies the client's window held
//     back, under that layer's lock.
//  2. Every response is one message of type TABULAR RESULT ending with a
//     final DONE (MORE clear); the held-DONE logic of ResponseSink keeps the
//     MORE bits right.
//  3. Every ATTENTION is acknowledged by exactly one DONE with the attention
//     bit, always in a message of its own: after the (cut short) response of
//     the request it interrupted, or alone when no request was running. pendingAttention_ records
//     that one is owed; it and the cancel flag change together under mutex_, so the session thread
//     never clears a cancel it has not acknowledged.
//  4. Once a request is cancelled, nothing but the closing DONEs is sent.
//  5. A malformed message ends this session only: the failure is logged, a
//     fatal error is sent if the socket still works, and both threads end.
//  6. Every packet sent carries this session's spid, the value of @@SPID.

#include "sqld/tds/session.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "response_sink.h"
#include "sqld/product_version.h"
#include "sqld/tds/bulk_load.h"
#include "sqld/tds/errors.h"
#include "sqld/tds/login.h"
#include "sqld/tds/requests.h"
#include "sqld/tds/type_codec.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

constexpr char kProgName[] = "Microsoft SQL Server";
constexpr std::uint32_t kProgVersion = kProductLoginAckVersion;
constexpr char kLanguage[] = "us_english";

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::unique_ptr<Transport> withTls(std::unique_ptr<Transport> transport,
                                   const SessionSettings& settings) {
  if (!settings.tls) return transport;
  return std::make_unique<TlsTransport>(std::move(transport), settings.tls);
}

std::string hex(unsigned v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
  return buf;
}

}  // namespace

TdsSession::TdsSession(std::unique_ptr<Transport> transport, Engine& engine,
                       const Credentials& credentials, const SessionSettings& settings, Log& log,
                       std::uint16_t spid, std::string peer)
    : transport_(std::make_unique<SmpTransport>(withTls(std::move(transport), settings))),
      smp_(static_cast<SmpTransport*>(transport_.get())),
      tls_(settings.tls ? static_cast<TlsTransport*>(&smp_->inner()) : nullptr),
      engine_(engine),
      credentials_(credentials),
      settings_(settings),
      log_(log),
      spid_(spid),
      peer_(std::move(peer)),
      reader_(*transport_, 128 * 1024),
      writer_(*transport_, kDefaultPacketSize),
      tokens_(writer_, kTds74, settings.serverName) {
  writer_.setSpid(spid_);
  touch();
}

TdsSession::~TdsSession() {
  stop();
  if (readerThread_.joinable()) readerThread_.join();
}

void TdsSession::logLine(const std::string& text) {
  log_.write("session " + std::to_string(spid_) + " (" + peer_ +
             (user_.empty() ? "" : ", " + user_) + "): " + text);
}

void TdsSession::run() {
  try {
    if (handshake()) serve();
  } catch (const ProtocolError& e) {
    logLine(std::string("ended: malformed request: ") + e.what());
    try {
      Message m = listenerMessage(ListenerMessage::StreamIncorrect, e.what());
      m.severity = 20;  // fatal: the session ends
      writer_.begin(PacketType::TabularResult);
      tokens_.message(m);
      tokens_.done(token::Done, donestatus::Error, 0, 0);
      writer_.finish();
    } catch (const std::exception&) {
      // The peer may already be gone; the log has the reason.
    }
  } catch (const TransportError& e) {
    logLine(std::string("ended: connection lost: ") + e.what());
  } catch (const std::exception& e) {
    logLine(std::string("ended: ") + e.what());
  }
  stopping_ = true;
  cancel_.request();
  room_.notify_all();
  transport_->shutdown();
  if (readerThread_.joinable()) readerThread_.join();
  transport_->close();
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    queuedBytes_ = 0;
    partialBytes_ = 0;
    account();
  }
  session_.reset();
}

void TdsSession::stop() {
  stopping_ = true;
  {
    std::lock_guard lock(mutex_);
    cancel_.request();
    queue_.push_back(Item{Item::Kind::Stop, {}, {}});
  }
  ready_.notify_all();
  room_.notify_all();
  transport_->shutdown();
}

// ---- login ----

int TdsSession::loginTimeoutMs() const {
  int seconds = settings_.loginTimeoutSeconds;
  if (settings_.idleTimeoutSeconds > 0) seconds = std::min(seconds, settings_.idleTimeoutSeconds);
  return seconds * 1000;
}

std::optional<IncomingMessage> TdsSession::readLoginMessage() {
  if (!reader_.buffered() && !transport_->waitReadable(loginTimeoutMs())) {
    logLine("ended: no login within " + std::to_string(loginTimeoutMs() / 1000) + " s");
    return std::nullopt;
  }
  auto m = reader_.next();
  if (!m) {
    logLine(stopping_ ? "ended: closed by the server before logging in"
                      : "ended: client closed the connection before logging in");
  }
  return m;
}

bool TdsSession::handshake() {
  // A client that stops in the middle of a login message is dropped as one
  // that sends nothing.
  transport_->setReceiveTimeout(loginTimeoutMs());
  bool strict = false;
  if (tls_) {
    if (!transport_->waitReadable(loginTimeoutMs())) {
      logLine("ended: no login within " + std::to_string(loginTimeoutMs() / 1000) + " s");
      return false;
    }
    strict = tls_->peekByte() == TlsTransport::kTlsHandshakeRecord;
    if (strict) {
      tls_->handshakeStrict();
      logLine("TDS 8.0 strict encryption (" + tls_->description() + ")");
    } else if (settings_.encrypt == EncryptMode::Strict) {
      logLine("refused: the server takes TDS 8.0 strict encryption only (TLS first)");
      return false;
    }
  }
  auto m = readLoginMessage();
  if (!m) return false;
  Encryption encryption = strict ? Encryption::Everything : Encryption::None;
  if (m->type == static_cast<std::uint8_t>(PacketType::PreLogin)) {
    preLogin(*m, strict, encryption);
    m = readLoginMessage();
    if (!m) return false;
  }
  if (m->type != static_cast<std::uint8_t>(PacketType::Login7)) {
    throw ProtocolError("expected LOGIN7, got packet type " + hex(m->type, 2));
  }
  // The login came encrypted; the client goes on in clear.
  if (encryption == Encryption::LoginOnly) tls_->endEncryption();
  // Under Required, a client that skipped PRELOGIN is as one that cannot encrypt.
  if (encryption == Encryption::Refuse ||
      (tls_ && encryption == Encryption::None && settings_.encrypt == EncryptMode::Required)) {
    refuseLogin(listenerMessage(ListenerMessage::EncryptionRequired), {});
    return false;
  }
  Login7 login = parseLogin7(m->payload);
  auto version = negotiateVersion(login.tdsVersion);
  if (!version) {
    // The refusal must be readable by the client: in the token layout of the
    // version it asked for, not the newest one.
    tokens_.setVersion(login.tdsVersion);
    throw ProtocolError("TDS version " + hex(login.tdsVersion, 8) + " is older than 7.1");
  }
  version_ = *version;
  tokens_.setVersion(version_);
  user_ = login.userName;
  if (std::size_t limit = settings_.admit ? settings_.admit() : 0; limit != 0) {
    refuseLogin(listenerMessage(ListenerMessage::TooManyConnections, std::to_string(limit)),
                login.userName);
    return false;
  }
  if (login.integratedSecurity()) {
    refuseLogin(listenerMessage(ListenerMessage::UntrustedDomain), login.userName);
    return false;
  }
  if (!credentials_.check(login.userName, login.password)) {
    refuseLogin(listenerMessage(ListenerMessage::LoginFailed, login.userName), login.userName);
    return false;
  }
  LoginInfo info;
  info.user = login.userName;
  info.database = login.database;
  info.appName = login.appName;
  info.hostName = login.hostName;
  info.language = kLanguage;
  info.tdsVersion = version_;
  info.odbc = login.odbc();
  info.spid = spid_;
  if (auto colon = peer_.rfind(':'); colon != std::string::npos) {
    info.clientAddress = peer_.substr(0, colon);
    info.clientPort = static_cast<std::uint16_t>(std::atoi(peer_.c_str() + colon + 1));
  }
  login_ = info;
  Message error;
  session_ = engine_.openSession(info, error);
  if (!session_) {
    refuseLogin(error, login.userName);
    return false;
  }
  std::uint32_t packetSize = login.packetSize == 0 ? kDefaultPacketSize : login.packetSize;
  packetSize = std::clamp<std::uint32_t>(packetSize, kMinPacketSize, kMaxPacketSize);
  sendLoginResponse(packetSize);
  if (mars_) smp_->allow();
  reader_.setMaxMessageSize(settings_.maxMessageSize);
  logLine("logged in (TDS " + versionName(version_) + ", packet size " +
          std::to_string(packetSize) + ", database " + session_->currentDatabase() +
          (login.appName.empty() ? "" : ", application " + login.appName) + ")");
  return true;
}

void TdsSession::preLogin(const IncomingMessage& message, bool strict, Encryption& outcome) {
  PreLogin pre = parsePreLogin(message.payload);
  // Inside TDS 8.0's TLS there is nothing more to agree on.
  EncryptionAnswer answer =
      strict ? EncryptionAnswer{prelogin_encrypt::NotSupported, Encryption::Everything}
             : negotiateEncryption(settings_.encrypt, tls_ != nullptr, pre.encryption);
  if (!tls_ &&
      (pre.encryption == prelogin_encrypt::On || pre.encryption == prelogin_encrypt::Required)) {
    logLine("client asked for encryption; answered that it is not supported");
  }
  writer_.begin(PacketType::TabularResult);
  // Outside TDS 8.0 the client may multiplex sessions once logged in.
  mars_ = pre.mars && !strict;
  writer_.write(buildPreLoginResponse(answer.reply, mars_));
  writer_.finish();
  outcome = answer.outcome;
  if (strict || outcome == Encryption::None) return;
  // The client either starts the handshake in PRELOGIN packets or goes on in
  // clear: allowed when the server does not insist, refused when it does.
  if (!transport_->waitReadable(loginTimeoutMs())) return;
  if (tls_->peekByte() != static_cast<int>(PacketType::PreLogin)) {
    if (outcome != Encryption::Refuse) {
      outcome = settings_.encrypt == EncryptMode::Off ? Encryption::None : Encryption::Refuse;
    }
    return;
  }
  tls_->handshakeInPreLogin();
  if (outcome == Encryption::Refuse) outcome = Encryption::Everything;
  logLine(std::string(outcome == Encryption::LoginOnly ? "login encrypted" : "encrypted") + " (" +
          tls_->description() + ")");
}

void TdsSession::refuseLogin(const Message& first, const std::string& user) {
  writer_.begin(PacketType::TabularResult);
  tokens_.message(first);
  if (first.number != 18456 && first.number != 18452 && first.number != 17809 &&
      first.number != 17835) {
    tokens_.message(listenerMessage(ListenerMessage::LoginFailed, user));
  }
  tokens_.done(token::Done, donestatus::Error, 0, 0);
  writer_.finish();
  logLine("login refused: " + first.text);
}

void TdsSession::sendLoginResponse(std::uint32_t packetSize) {
  const std::string database = session_->currentDatabase();
  writer_.begin(PacketType::TabularResult);
  tokens_.envChange(envchange::Database, database, "master");
  tokens_.message(listenerMessage(ListenerMessage::ChangedDatabase, database));
  // The database's default collation, by which the client reads and sends
  // char and varchar that carry no collation of their own.
  const std::array<std::uint8_t, 5> collation = collationBytes(session_->currentCollation());
  tokens_.envChangeBytes(envchange::Collation,
                         std::string_view(reinterpret_cast<const char*>(collation.data()), 5), {});
  tokens_.envChange(envchange::Language, kLanguage, "");
  tokens_.message(listenerMessage(ListenerMessage::ChangedLanguage, kLanguage));
  tokens_.loginAck(kProgName, kProgVersion);
  tokens_.envChange(envchange::PacketSize, std::to_string(packetSize),
                    std::to_string(kDefaultPacketSize));
  tokens_.done(token::Done, 0, 0, 0);
  writer_.finish();
  writer_.setPacketSize(packetSize);
}

// ---- requests ----

void TdsSession::serve() {
  touch();
  // Between messages the idle time-out applies; inside one, a stalled client
  // is dropped after the same time.
  transport_->setReceiveTimeout(settings_.idleTimeoutSeconds * 1000);
  transport_->setSendTimeout(settings_.idleTimeoutSeconds * 1000);
  reader_.setPacketGate([this](std::size_t partial) { waitForRoom(partial); });
  readerThread_ = std::thread([this] { readLoop(); });
  for (;;) {
    Item item = pop();
    // Answers go to the multiplexed session the request or attention came on.
    if (smp_->active()) smp_->setSendChannel(item.channel);
    switch (item.kind) {
      case Item::Kind::Request:
        // A session ended by KILL answers nothing more: the client sees its
        // connection close, as SQL Server closes a killed session's.
        if (killed()) return;
        handleRequest(item.message);
        requestEnded();
        if (killed()) return;
        break;
      case Item::Kind::Attention:
        acknowledgeAttention();
        break;
      case Item::Kind::EndOfStream:
        logLine("ended: " + (item.reason.empty() ? "client closed the connection" : item.reason));
        return;
      case Item::Kind::Failed:
        throw ProtocolError(item.reason);
      case Item::Kind::IdleTimeout:
        logLine("ended: idle for " + std::to_string(settings_.idleTimeoutSeconds) + " s");
        return;
      case Item::Kind::Stop:
        if (killed()) return;
        logLine("ended: server stopping");
        return;
    }
  }
}

bool TdsSession::killed() {
  if (!session_ || !session_->terminated()) return false;
  logLine("ended: killed by another session");
  transport_->resetOnClose();
  return true;
}

void TdsSession::resetSession(bool keepTransaction) {
  if (keepTransaction && session_->transactionDescriptor() != 0) {
    // A fresh engine session cannot inherit the open transaction; keeping the
    // old one is the nearer match for a reset that must keep it.
    logLine("connection reset kept the session: a transaction is open");
  } else {
    Message error;
    auto fresh = engine_.openSession(login_, error);
    if (!fresh) throw std::runtime_error("connection reset failed: " + error.text);
    if (std::uint64_t open = session_->transactionDescriptor(); open != 0) resetRolledBack_ = open;
    session_ = std::move(fresh);
  }
  resetAckPending_ = atLeast72(version_);
}

void TdsSession::handleRequest(IncomingMessage& message) {
  if (message.resetConnection && !message.ignore) resetSession(message.resetKeepsTransaction);
  // Only the very next message may carry the data INSERT BULK or WRITETEXT
  // BULK announced.
  const BulkWait bulk = session_->bulkWait();
  if (bulk != BulkWait::None &&
      (message.ignore || message.type != static_cast<std::uint8_t>(PacketType::BulkLoad)))
    session_->abandonBulk();
  if (message.ignore) {
    // The client abandoned this request part-way; it expects a plain DONE.
    writer_.begin(PacketType::TabularResult);
    tokens_.done(token::Done, 0, 0, 0);
    writer_.finish();
    return;
  }
  switch (static_cast<PacketType>(message.type)) {
    case PacketType::SqlBatch: {
      SqlBatchRequest batch = parseSqlBatch(message.payload, version_);
      runRequest(Done::Kind::Done,
                 [&](ResultSink& sink) { session_->executeBatch(batch.text, sink, cancel_); });
      return;
    }
    case PacketType::Rpc: {
      std::vector<RpcRequest> calls = parseRpc(message.payload, version_);
      // Pooling clients send sp_reset_connection (alone or ahead of the next
      // call) where others set the reset-connection status bit.
      auto isReset = [](const RpcRequest& c) {
        return equalsIgnoreCase(c.procName, "sp_reset_connection") ||
               equalsIgnoreCase(c.procName, "sys.sp_reset_connection");
      };
      if (!calls.empty() && isReset(calls.front())) resetSession(false);
      runRequest(Done::Kind::DoneProc, [&](ResultSink& sink) {
        for (std::size_t i = 0; i < calls.size(); ++i) {
          const RpcRequest& call = calls[i];
          if (cancel_.requested()) break;
          if (isReset(call)) {
            if (i > 0) resetSession(false);
            Done done;
            done.kind = Done::Kind::DoneProc;
            done.curCmd = 0xE0;
            sink.done(done);
            continue;
          }
          session_->executeRpc(call, sink, cancel_);
        }
      });
      return;
    }
    case PacketType::BulkLoad:
      if (bulk == BulkWait::Rows) {
        BulkLoadReader rows(message.payload, version_);
        runRequest(Done::Kind::Done,
                   [&](ResultSink& sink) { session_->bulkRows(rows, sink, cancel_); });
        return;
      }
      if (bulk == BulkWait::Text) {
        std::string bytes = parseBulkText(message.payload);
        runRequest(Done::Kind::Done,
                   [&](ResultSink& sink) { session_->bulkText(std::move(bytes), sink); });
        return;
      }
      sendError(listenerMessage(ListenerMessage::StreamIncorrect,
                                "Bulk-load data arrived without INSERT BULK or WRITETEXT BULK."));
      return;
    case PacketType::TransactionManager:
      if (atLeast72(version_)) {
        handleTransaction(message);
        return;
      }
      break;
    default:
      break;
  }
  sendError(listenerMessage(ListenerMessage::StreamIncorrect,
                            "Unknown packet type " + hex(message.type, 2) + "."));
}

void TdsSession::handleTransaction(const IncomingMessage& message) {
  TransactionManagerRequest request = parseTransactionManager(message.payload);
  using Kind = TransactionManagerRequest::Kind;
  using Request = Session::TransactionRequest;
  std::optional<Request> first;
  switch (request.kind) {
    case Kind::Begin:
      first = Request::Begin;
      break;
    case Kind::Commit:
      first = Request::Commit;
      break;
    case Kind::Rollback:
      first = Request::Rollback;
      break;
    case Kind::Save:
      first = Request::Save;
      break;
    default:
      break;  // the distributed-transaction requests need a coordinator
  }
  if (!first) {
    sendError(listenerMessage(ListenerMessage::StreamIncorrect,
                              "Transaction Manager request " +
                                  std::to_string(static_cast<int>(request.kind)) +
                                  " is not supported."));
    return;
  }
  runRequest(Done::Kind::Done, [&](ResultSink& sink) {
    // Level 0 keeps the session's isolation level.
    if (*first == Request::Begin && request.isolationLevel != 0)
      session_->setIsolationLevel(request.isolationLevel);
    session_->transaction(*first, request.name, sink);
    if (!request.beginAfter) return;
    if (request.newIsolationLevel != 0) session_->setIsolationLevel(request.newIsolationLevel);
    session_->transaction(Request::Begin, request.newName, sink);
  });
}

template <typename Fn>
void TdsSession::runRequest(Done::Kind closing, Fn&& fn) {
  busy_ = true;
  writer_.begin(PacketType::TabularResult);
  ResponseSink sink(tokens_, cancel_);
  if (resetAckPending_) {
    tokens_.envChangeBytes(envchange::ResetAck, {}, {});
    resetAckPending_ = false;
    if (resetRolledBack_ != 0)
      sink.transactionChanged(ResultSink::TransactionEvent::Rollback, 0, resetRolledBack_);
    resetRolledBack_ = 0;
  }
  try {
    fn(sink);
  } catch (const TransportError&) {
    throw;
  } catch (const ProtocolError&) {
    throw;
  } catch (const std::exception& e) {
    logLine(std::string("request failed: ") + e.what());
    sink.message(listenerMessage(ListenerMessage::RequestFailed, e.what()));
    Done failed;
    failed.kind = closing;
    failed.error = true;
    failed.curCmd = 0;
    sink.done(failed);
  }
  if (session_ && session_->terminated()) {
    // Killed during the request: the response ends with the connection,
    // without a final DONE.
    busy_ = false;
    return;
  }
  bool attention = false;
  {
    std::lock_guard lock(mutex_);
    attention = pendingAttention_;
    pendingAttention_ = false;
    if (!stopping_) cancel_.reset();
  }
  sink.close(closing);
  writer_.finish();
  // The interrupted request's response has ended; the acknowledgement is a
  // message of its own, which clients wait for after that response.
  if (attention) sendAttentionAck();
  busy_ = false;
  touch();
}

void TdsSession::acknowledgeAttention() {
  {
    std::lock_guard lock(mutex_);
    if (!pendingAttention_) return;  // acknowledged inside the interrupted response
    pendingAttention_ = false;
    if (!stopping_) cancel_.reset();
  }
  sendAttentionAck();
}

void TdsSession::sendAttentionAck() {
  writer_.begin(PacketType::TabularResult);
  tokens_.done(token::Done, donestatus::Attention, 0, 0);
  writer_.finish();
}

void TdsSession::sendError(const Message& m) {
  logLine("request refused: " + m.text);
  writer_.begin(PacketType::TabularResult);
  tokens_.message(m);
  tokens_.done(token::Done, donestatus::Error, 0, 0);
  writer_.finish();
}

// ---- reader thread ----

void TdsSession::readLoop() {
  Item last{Item::Kind::EndOfStream, {}, {}};
  try {
    for (;;) {
      if (!reader_.buffered()) {
        int slice = settings_.idleTimeoutSeconds > 0 ? 500 : -1;
        if (!transport_->waitReadable(slice)) {
          if (idleExpired()) {
            last.kind = Item::Kind::IdleTimeout;
            break;
          }
          continue;
        }
      }
      auto message = reader_.next();
      if (!message) break;
      touch();
      if (message->type == static_cast<std::uint8_t>(PacketType::Attention)) {
        {
          std::lock_guard lock(mutex_);
          pendingAttention_ = true;
          cancel_.request();
          queue_.push_back(Item{Item::Kind::Attention, {}, {}, smp_->receiveChannel()});
        }
        ready_.notify_all();
        continue;
      }
      push(Item{Item::Kind::Request, std::move(*message), {}, smp_->receiveChannel()});
    }
  } catch (const ProtocolError& e) {
    last = Item{Item::Kind::Failed, {}, e.what()};
  } catch (const TransportError& e) {
    last = Item{Item::Kind::EndOfStream, {}, std::string("connection lost: ") + e.what()};
  } catch (const std::exception& e) {
    last = Item{Item::Kind::Failed, {}, e.what()};
  }
  {
    // A request still running has lost its client: stop it, for good.
    std::lock_guard lock(mutex_);
    if (last.kind != Item::Kind::IdleTimeout) {
      stopping_ = true;
      cancel_.request();
    }
    queue_.push_back(std::move(last));
  }
  ready_.notify_all();
}

void TdsSession::push(Item item) {
  {
    std::lock_guard lock(mutex_);
    queuedBytes_ += item.message.payload.size();
    partialBytes_ = 0;
    account();
    queue_.push_back(std::move(item));
  }
  ready_.notify_all();
}

void TdsSession::waitForRoom(std::size_t partial) {
  std::unique_lock lock(mutex_);
  partialBytes_ = partial;
  account();
  const ReadAheadBudget* shared = settings_.readAhead.get();
  for (;;) {
    // The request to run next is always read whole; only what would wait
    // behind it is bounded.
    if (stopping_ || (!running_ && queue_.empty())) return;
    const bool room = queue_.size() < settings_.maxQueuedRequests &&
                      queuedBytes_ + partial < settings_.maxReadAheadBytes;
    if (room && !(shared && shared->spent())) return;
    // Other sessions return their share of the budget without a signal to
    // this one: look again now and then.
    room_.wait_for(lock, std::chrono::milliseconds(50));
  }
}

void TdsSession::requestEnded() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  room_.notify_all();
}

void TdsSession::account() {
  const std::size_t held = queuedBytes_ + partialBytes_;
  if (settings_.readAhead) {
    settings_.readAhead->add(static_cast<std::int64_t>(held) -
                             static_cast<std::int64_t>(accounted_));
  }
  accounted_ = held;
}

TdsSession::Item TdsSession::pop() {
  std::unique_lock lock(mutex_);
  // KILL from another session ends an idle one at once, as SQL Server
  // closes a killed session's connection: the wait looks at the flag a few
  // times a second.
  while (!ready_.wait_for(lock, std::chrono::milliseconds(100), [&] { return !queue_.empty(); })) {
    if (session_ && session_->terminated()) return Item{Item::Kind::Stop, {}, "killed"};
  }
  Item item = std::move(queue_.front());
  queue_.pop_front();
  if (item.kind == Item::Kind::Request) {
    queuedBytes_ -= item.message.payload.size();
    account();
    running_ = true;
  }
  room_.notify_all();
  return item;
}

bool TdsSession::idleExpired() const {
  if (settings_.idleTimeoutSeconds <= 0 || busy_) return false;
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return false;
  }
  return nowMs() - lastActivityMs_.load() >= std::int64_t{settings_.idleTimeoutSeconds} * 1000;
}

void TdsSession::touch() {
  lastActivityMs_ = nowMs();
}

}  // namespace tessel::sqld::tds
