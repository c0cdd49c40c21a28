#pragma once

// TLS over another transport, as TDS carries it: the handshake either inside
// PRELOGIN packets (TDS 7.x) or first on the connection (TDS 8.0 strict),
// then TLS records straight on the socket. It passes bytes through unchanged
// until a handshake and again after endEncryption() (a client that asked for
// its login alone to be encrypted). The handshake functions belong to the
// thread that reads; afterwards one thread may receive while another sends.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sqld/tds/tls_context.h"
#include "sqld/tds/transport.h"

struct ssl_st;
struct bio_st;

namespace tessel::sqld::tds {

class TlsTransport : public Transport {
 public:
  TlsTransport(std::unique_ptr<Transport> inner, std::shared_ptr<const TlsContext> context);
  ~TlsTransport() override;
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  // The next byte the client sends, read ahead but not taken (at most the
  // receive time-out); -1 at the end of the stream. A TLS handshake record
  // opens with 0x16, a TDS packet with its type.
  int peekByte();
  static constexpr int kTlsHandshakeRecord = 0x16;
  // The handshake carried in PRELOGIN packets, capped at TLS 1.2 as clients
  // of TDS 7.x expect. Throws TransportError (the handshake failed or the
  // client left) or ProtocolError (not a PRELOGIN packet).
  void handshakeInPreLogin();
  // The TDS 8.0 handshake on the bare connection (ALPN tds/8.0).
  void handshakeStrict();
  // Back to plain bytes, as a client that asked for its login alone to be
  // encrypted does after sending it.
  void endEncryption();
  bool encrypted() const { return encrypted_; }
  // "TLSv1.2, ECDHE-ECDSA-AES256-GCM-SHA384", for the log.
  std::string description() const;

  void send(std::span<const std::uint8_t> bytes) override;
  std::size_t receive(std::span<std::uint8_t> buffer) override;
  bool waitReadable(int timeoutMs) override;
  void setReceiveTimeout(int timeoutMs) override { inner_->setReceiveTimeout(timeoutMs); }
  void setSendTimeout(int timeoutMs) override { inner_->setSendTimeout(timeoutMs); }
  void shutdown() override { inner_->shutdown(); }
  void resetOnClose() override { inner_->resetOnClose(); }
  void close() override { inner_->close(); }

 private:
  enum class Framing { PreLogin, Raw };
  void handshake(Framing framing);
  // Moves what TLS wrote into its output buffer to the connection, in
  // order; sslMutex_ is held on entry and released on return.
  void flushOutput(std::unique_lock<std::mutex>& sslLock, Framing framing);
  // Reads more bytes from the connection (those left over first); false at
  // the end of the stream.
  bool fillRaw();
  void readRawExact(std::uint8_t* out, std::size_t count);

  std::unique_ptr<Transport> inner_;
  std::shared_ptr<const TlsContext> context_;
  ssl_st* ssl_ = nullptr;
  bio_st* in_ = nullptr;   // records from the client, owned by ssl_
  bio_st* out_ = nullptr;  // records to the client, owned by ssl_
  std::atomic<bool> encrypted_{false};
  std::mutex sslMutex_;   // guards ssl_ and the two buffers
  std::mutex sendMutex_;  // keeps records in the order TLS made them
  // The records on their way to the connection, kept between sends so that
  // a result's packets reuse one buffer; guarded by sendMutex_.
  std::vector<std::uint8_t> sending_;
  // Bytes read from the connection and not yet used; receiving thread only.
  std::vector<std::uint8_t> raw_;
  std::size_t rawPos_ = 0;
};

}  // namespace tessel::sqld::tds
