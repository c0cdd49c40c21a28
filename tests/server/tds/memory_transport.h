#pragma once

// A transport over strings for codec tests: what the code sends is captured,
// what it receives comes from `input`, and the link can be made to drop after
// a number of bytes in either direction.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>

#include "sqld/tds/transport.h"

namespace tessel::sqld::test {

class MemoryTransport : public tds::Transport {
 public:
  std::string sent;
  std::string input;
  std::size_t dropSendAfter = std::numeric_limits<std::size_t>::max();
  std::size_t readChunk = std::numeric_limits<std::size_t>::max();
  // When set, the end of `input` blocks like an open socket instead of
  // reading as end of stream, until shutdown().
  bool holdOpen = false;

  void send(std::span<const std::uint8_t> bytes) override {
    if (sent.size() + bytes.size() > dropSendAfter) throw tds::TransportError("link dropped");
    sent.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::size_t receive(std::span<std::uint8_t> buffer) override {
    if (holdOpen && pos_ == input.size()) {
      std::unique_lock lock(mutex_);
      closed_.wait(lock, [&] { return shut_; });
    }
    std::size_t n = std::min({buffer.size(), input.size() - pos_, readChunk});
    std::memcpy(buffer.data(), input.data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool waitReadable(int) override { return true; }
  void shutdown() override {
    std::lock_guard lock(mutex_);
    shut_ = true;
    closed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable closed_;
  bool shut_ = false;  // guarded by mutex_
  std::size_t pos_ = 0;
};

}  // namespace tessel::sqld::test
