#pragma once

// The byte stream under the packet layer. SocketTransport owns a connected
// socket. One thread may receive while another sends; shutdown() may be called
// from any thread and unblocks both. Tests substitute transports that fail on
// purpose (a link that drops after N bytes).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <stdexcept>

#include "sqld/tds/unique_fd.h"

namespace tessel::sqld::tds {

// The peer went away or the socket failed; the session ends quietly.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // Sends every byte or throws TransportError.
  virtual void send(std::span<const std::uint8_t> bytes) = 0;
  // Reads at least one byte into `buffer`; returns 0 at the end of the stream.
  virtual std::size_t receive(std::span<std::uint8_t> buffer) = 0;
  // Waits until data can be read; false when `timeoutMs` passed first.
  virtual bool waitReadable(int timeoutMs) = 0;
  // Bounds how long receive() waits for the next bytes (0: no bound); when
  // the bound passes, receive() throws TransportError. Set before the
  // receiving thread starts.
  virtual void setReceiveTimeout(int timeoutMs) { (void)timeoutMs; }
  // Bounds how long send() waits for a client that does not read (0: no
  // bound); when it passes, send() throws TransportError.
  virtual void setSendTimeout(int timeoutMs) { (void)timeoutMs; }
  virtual void shutdown() = 0;
  // The connection ends with a reset rather than an orderly close, as a
  // killed session's does: a client waiting on it learns it was dropped.
  // Call before shutdown().
  virtual void resetOnClose() {}
  // Releases the connection at once, once no thread uses it any more, so
  // the peer sees the end without waiting for this object to go away;
  // shutdown() stays harmless afterwards.
  virtual void close() {}
};

class SocketTransport : public Transport {
 public:
  explicit SocketTransport(UniqueFd fd) : fd_(std::move(fd)) {}
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  void send(std::span<const std::uint8_t> bytes) override;
  std::size_t receive(std::span<std::uint8_t> buffer) override;
  bool waitReadable(int timeoutMs) override;
  void setReceiveTimeout(int timeoutMs) override { receiveTimeoutMs_ = timeoutMs; }
  void setSendTimeout(int timeoutMs) override { sendTimeoutMs_ = timeoutMs; }
  void shutdown() override;
  void resetOnClose() override;
  void close() override;

 private:
  std::mutex closing_;  // shutdown() from another thread never meets a released descriptor
  UniqueFd fd_;
  std::atomic<bool> reset_{false};
  int receiveTimeoutMs_ = 0;  // read by the receiving thread only after it starts
  int sendTimeoutMs_ = 0;     // used by the sending thread only
};

}  // namespace tessel::sqld::tds
