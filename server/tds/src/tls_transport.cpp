#include "sqld/tds/tls_transport.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "sqld/tds/packet.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

constexpr std::size_t kHandshakePacketSize = 4096;

std::string tlsError(int code) {
  if (code == SSL_ERROR_SYSCALL || code == SSL_ERROR_ZERO_RETURN) return "the client closed TLS";
  unsigned long e = ERR_get_error();
  if (e == 0) return "TLS error " + std::to_string(code);
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  return text;
}

int clampInt(std::size_t n) {
  return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

}  // namespace

TlsTransport::TlsTransport(std::unique_ptr<Transport> inner,
                           std::shared_ptr<const TlsContext> context)
    : inner_(std::move(inner)), context_(std::move(context)) {
  ssl_ = SSL_new(context_->native());
  in_ = BIO_new(BIO_s_mem());
  out_ = BIO_new(BIO_s_mem());
  if (!ssl_ || !in_ || !out_) {
    BIO_free(in_);
    BIO_free(out_);
    SSL_free(ssl_);
    throw std::runtime_error("cannot set up TLS for a connection");
  }
  // An empty input buffer means "wait for more", not the end of the stream.
  BIO_set_mem_eof_return(in_, -1);
  SSL_set_bio(ssl_, in_, out_);
  SSL_set_accept_state(ssl_);
}

TlsTransport::~TlsTransport() {
  SSL_free(ssl_);
}

bool TlsTransport::fillRaw() {
  if (rawPos_ < raw_.size()) return true;
  raw_.resize(65536);
  rawPos_ = 0;
  std::size_t n = inner_->receive(raw_);
  raw_.resize(n);
  return n > 0;
}

void TlsTransport::readRawExact(std::uint8_t* out, std::size_t count) {
  while (count > 0) {
    if (!fillRaw()) throw TransportError("client closed the connection during the TLS handshake");
    std::size_t take = std::min(count, raw_.size() - rawPos_);
    std::memcpy(out, raw_.data() + rawPos_, take);
    rawPos_ += take;
    out += take;
    count -= take;
  }
}

int TlsTransport::peekByte() {
  return fillRaw() ? raw_[rawPos_] : -1;
}

void TlsTransport::flushOutput(std::unique_lock<std::mutex>& sslLock, Framing framing) {
  // Taken before the TLS lock is let go, so records leave in the order made.
  std::lock_guard sendLock(sendMutex_);
  std::vector<std::uint8_t>& out = sending_;
  out.resize(BIO_ctrl_pending(out_));
  if (!out.empty()) BIO_read(out_, out.data(), clampInt(out.size()));
  sslLock.unlock();
  if (out.empty()) return;
  if (framing == Framing::Raw) {
    inner_->send(out);
    return;
  }
  PacketWriter writer(*inner_, kHandshakePacketSize);
  writer.begin(PacketType::PreLogin);
  writer.write(out);
  writer.finish();
}

void TlsTransport::handshake(Framing framing) {
  std::unique_lock lock(sslMutex_);
  if (framing == Framing::PreLogin) SSL_set_max_proto_version(ssl_, TLS1_2_VERSION);
  for (;;) {
    ERR_clear_error();
    int r = SSL_do_handshake(ssl_);
    int code = r == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl_, r);
    std::string why = code == SSL_ERROR_NONE || code == SSL_ERROR_WANT_READ ? "" : tlsError(code);
    flushOutput(lock, framing);
    if (r == 1) {
      encrypted_ = true;
      return;
    }
    if (!why.empty()) throw TransportError("TLS handshake failed: " + why);
    std::vector<std::uint8_t> data;
    if (framing == Framing::PreLogin) {
      std::array<std::uint8_t, kPacketHeaderSize> raw{};
      readRawExact(raw.data(), raw.size());
      PacketHeader h = parsePacketHeader(raw);
      if (h.type != static_cast<std::uint8_t>(PacketType::PreLogin) ||
          h.length < kPacketHeaderSize) {
        throw ProtocolError("expected a PRELOGIN packet carrying the TLS handshake, got type " +
                            std::to_string(h.type));
      }
      data.resize(h.length - kPacketHeaderSize);
      readRawExact(data.data(), data.size());
    } else {
      if (!fillRaw()) throw TransportError("client closed the connection during the TLS handshake");
      data.assign(raw_.begin() + static_cast<std::ptrdiff_t>(rawPos_), raw_.end());
      rawPos_ = raw_.size();
    }
    lock.lock();
    BIO_write(in_, data.data(), clampInt(data.size()));
  }
}

void TlsTransport::handshakeInPreLogin() {
  handshake(Framing::PreLogin);
}

void TlsTransport::handshakeStrict() {
  handshake(Framing::Raw);
}

void TlsTransport::endEncryption() {
  std::lock_guard lock(sslMutex_);
  // Bytes the client sent in clear after its login, read along with it.
  std::vector<std::uint8_t> unread(BIO_ctrl_pending(in_));
  if (!unread.empty()) BIO_read(in_, unread.data(), clampInt(unread.size()));
  unread.insert(unread.end(), raw_.begin() + static_cast<std::ptrdiff_t>(rawPos_), raw_.end());
  raw_ = std::move(unread);
  rawPos_ = 0;
  encrypted_ = false;
}

std::string TlsTransport::description() const {
  return std::string(SSL_get_version(ssl_)) + ", " + SSL_get_cipher_name(ssl_);
}

void TlsTransport::send(std::span<const std::uint8_t> bytes) {
  if (!encrypted_) {
    inner_->send(bytes);
    return;
  }
  std::unique_lock lock(sslMutex_);
  while (!bytes.empty()) {
    ERR_clear_error();
    int n = SSL_write(ssl_, bytes.data(), clampInt(bytes.size()));
    if (n <= 0) {
      std::string why = tlsError(SSL_get_error(ssl_, n));
      throw TransportError("TLS send failed: " + why);
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  flushOutput(lock, Framing::Raw);
}

std::size_t TlsTransport::receive(std::span<std::uint8_t> buffer) {
  if (!encrypted_) {
    if (rawPos_ < raw_.size()) {
      std::size_t take = std::min(buffer.size(), raw_.size() - rawPos_);
      std::memcpy(buffer.data(), raw_.data() + rawPos_, take);
      rawPos_ += take;
      return take;
    }
    return inner_->receive(buffer);
  }
  for (;;) {
    std::unique_lock lock(sslMutex_);
    ERR_clear_error();
    int n = SSL_read(ssl_, buffer.data(), clampInt(buffer.size()));
    int code = n > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, n);
    std::string why = code == SSL_ERROR_NONE || code == SSL_ERROR_WANT_READ ? "" : tlsError(code);
    // Reading may have made records to send (alerts, key updates).
    flushOutput(lock, Framing::Raw);
    if (n > 0) return static_cast<std::size_t>(n);
    if (code == SSL_ERROR_ZERO_RETURN) return 0;
    if (!why.empty()) throw TransportError("TLS receive failed: " + why);
    if (!fillRaw()) return 0;
    lock.lock();
    BIO_write(in_, raw_.data() + rawPos_, clampInt(raw_.size() - rawPos_));
    rawPos_ = raw_.size();
  }
}

bool TlsTransport::waitReadable(int timeoutMs) {
  if (rawPos_ < raw_.size()) return true;
  if (encrypted_) {
    std::lock_guard lock(sslMutex_);
    if (SSL_pending(ssl_) > 0 || BIO_ctrl_pending(in_) > 0) return true;
  }
  return inner_->waitReadable(timeoutMs);
}

}  // namespace tessel::sqld::tds
