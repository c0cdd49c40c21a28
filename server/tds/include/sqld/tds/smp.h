#pragma once

// Multiple active result sets: the session multiplexing layer a client may
// start once PRELOGIN agreed on it. SmpTransport sits between the packet layer
// and the socket (or TLS). Until the client's first 16-byte SMP header it
// passes bytes through; after it, it unwraps DATA packets of every logical
// session into one stream of whole TDS packets, remembers which session the
// last one came from, and wraps what the server sends in DATA packets of the
// session chosen with setSendChannel(). All logical sessions share one engine
// session, so their requests run one after another in arrival order.
//
// Flow control: the server never sends a DATA packet beyond the window the
// client granted; packets over it wait in a queue, flushed as the client's
// acknowledgements arrive (on the reading thread), and a sender whose queue
// holds more than a bound waits. The server grants the client a window a few
// packets ahead of what it has received and acknowledges as it goes.
//
// One thread receives, another may send (as Transport allows).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "sqld/tds/transport.h"

namespace tessel::sqld::tds {

class SmpTransport : public Transport {
 public:
  static constexpr std::uint8_t kSmpId = 0x53;
  static constexpr std::size_t kHeaderSize = 16;
  enum Flag : std::uint8_t { Syn = 0x01, Ack = 0x02, Fin = 0x04, Data = 0x08 };

  explicit SmpTransport(std::unique_ptr<Transport> inner) : inner_(std::move(inner)) {}

  Transport& inner() { return *inner_; }
  // The client may start multiplexing at the next message boundary.
  void allow() { allowed_ = true; }
  bool active() const { return active_; }
  // The logical session the last bytes received came from.
  std::uint16_t receiveChannel() const { return receiveChannel_; }
  // The logical session the next bytes sent go to.
  void setSendChannel(std::uint16_t channel);

  void send(std::span<const std::uint8_t> bytes) override;
  std::size_t receive(std::span<std::uint8_t> buffer) override;
  bool waitReadable(int timeoutMs) override;
  void setReceiveTimeout(int timeoutMs) override { inner_->setReceiveTimeout(timeoutMs); }
  void setSendTimeout(int timeoutMs) override { inner_->setSendTimeout(timeoutMs); }
  void shutdown() override;
  void resetOnClose() override { inner_->resetOnClose(); }
  void close() override { inner_->close(); }

 private:
  struct Channel {
    std::uint32_t sent = 0;                         // sequence number of the last DATA sent
    std::uint32_t clientWindow = 0;                 // highest sequence number the client accepts
    std::uint32_t received = 0;                     // sequence number of the last DATA received
    std::uint32_t granted = 0;                      // window last announced to the client
    std::deque<std::vector<std::uint8_t>> waiting;  // DATA payloads over the window
  };

  // Reads one SMP header and acts on it; true when it opened DATA bytes.
  bool readPacket();
  void readExact(std::uint8_t* out, std::size_t count);
  // mutex_ held for the following.
  void sendControl(std::uint16_t id, Channel& c, std::uint8_t flag);
  // Sends now when the client's window allows and nothing waits, else queues.
  void sendData(std::uint16_t id, Channel& c, std::span<const std::uint8_t> payload);
  void write(std::uint16_t id, Channel& c, std::span<const std::uint8_t> payload);
  void flush(std::uint16_t id, Channel& c);
  std::size_t waitingBytes() const;

  std::unique_ptr<Transport> inner_;
  bool allowed_ = false;  // set before the receiving thread starts
  // Set by the receiving thread at the client's first header; read by the sender.
  std::atomic<bool> active_{false};

  // Receiving thread only.
  std::uint16_t receiveChannel_ = 0;
  std::size_t dataLeft_ = 0;    // bytes of the current DATA packet not yet read
  bool firstByteRead_ = false;  // the header's first byte was read when detecting it

  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::map<std::uint16_t, Channel> channels_;  // guarded by mutex_
  std::uint16_t sendChannel_ = 0;              // guarded by mutex_
  std::vector<std::uint8_t> partial_;          // guarded by mutex_: a TDS packet begun
  bool down_ = false;                          // guarded by mutex_
};

}  // namespace tessel::sqld::tds
