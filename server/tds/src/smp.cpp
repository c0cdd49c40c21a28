#include "sqld/tds/smp.h"

#include <algorithm>
#include <string>

#include "sqld/tds/packet.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

// How far ahead of the last DATA packet received the client may send, and
// how many replies may wait for the client's window before a sender waits.
constexpr std::uint32_t kGrantAhead = 4;
constexpr std::size_t kMaxWaitingBytes = 8 * 1024 * 1024;

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void SmpTransport::setSendChannel(std::uint16_t channel) {
  std::lock_guard lock(mutex_);
  sendChannel_ = channel;
}

void SmpTransport::readExact(std::uint8_t* out, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    std::size_t n = inner_->receive(std::span(out + got, count - got));
    if (n == 0) throw ProtocolError("connection closed inside a multiplexing header");
    got += n;
  }
}

std::size_t SmpTransport::receive(std::span<std::uint8_t> buffer) {
  if (!active_) {
    if (!allowed_ || buffer.empty()) return inner_->receive(buffer);
    // At a message boundary: a multiplexing header or the first byte of a
    // plain packet, after which the connection stays plain until allowed again.
    std::size_t n = inner_->receive(buffer.first(1));
    allowed_ = false;
    if (n == 0 || buffer[0] != kSmpId) return n;
    active_ = true;
    firstByteRead_ = true;
  }
  for (;;) {
    if (dataLeft_ > 0) {
      std::size_t n = inner_->receive(buffer.first(std::min(buffer.size(), dataLeft_)));
      if (n == 0) throw ProtocolError("connection closed inside a multiplexed packet");
      dataLeft_ -= n;
      return n;
    }
    if (!readPacket()) return 0;
  }
}

bool SmpTransport::readPacket() {
  std::uint8_t h[kHeaderSize];
  if (firstByteRead_) {
    h[0] = kSmpId;
    firstByteRead_ = false;
  } else if (inner_->receive(std::span(h, 1)) == 0) {
    return false;
  }
  readExact(h + 1, kHeaderSize - 1);
  if (h[0] != kSmpId) throw ProtocolError("multiplexing header expected");
  const std::uint8_t flag = h[1];
  const std::uint16_t id = static_cast<std::uint16_t>(h[2] | h[3] << 8);
  const std::uint32_t length = le32(h + 4);
  const std::uint32_t seq = le32(h + 8);
  const std::uint32_t window = le32(h + 12);
  const bool data = flag == Data;
  if (length < kHeaderSize || (!data && length != kHeaderSize) ||
      length - kHeaderSize > kMaxPacketSize) {
    throw ProtocolError("multiplexed packet length " + std::to_string(length) + " out of range");
  }
  std::lock_guard lock(mutex_);
  auto it = channels_.find(id);
  if (flag == Syn) {
    if (it != channels_.end()) throw ProtocolError("multiplexed session opened twice");
    channels_[id] = Channel{0, window, 0, kGrantAhead, {}};
    return true;
  }
  if (it == channels_.end()) throw ProtocolError("packet for an unknown multiplexed session");
  Channel& c = it->second;
  c.clientWindow = std::max(c.clientWindow, window);
  switch (flag) {
    case Ack:
      flush(id, c);
      break;
    case Fin:
      sendControl(id, c, Fin);
      channels_.erase(it);
      break;
    case Data:
      if (seq != c.received + 1) throw ProtocolError("multiplexed packet out of sequence");
      c.received = seq;
      flush(id, c);
      if (c.received + kGrantAhead - c.granted >= 2) {
        c.granted = c.received + kGrantAhead;
        sendControl(id, c, Ack);
      }
      receiveChannel_ = id;
      dataLeft_ = length - kHeaderSize;
      break;
    default:
      throw ProtocolError("multiplexed packet with flags " + std::to_string(flag));
  }
  room_.notify_all();
  return true;
}

void SmpTransport::send(std::span<const std::uint8_t> bytes) {
  if (!active_) return inner_->send(bytes);
  std::unique_lock lock(mutex_);
  // Each TDS packet travels in a DATA packet of its own.
  partial_.insert(partial_.end(), bytes.begin(), bytes.end());
  std::size_t used = 0;
  while (partial_.size() - used >= kPacketHeaderSize) {
    std::size_t length = std::size_t{partial_[used + 2]} << 8 | partial_[used + 3];
    if (length < kPacketHeaderSize) length = partial_.size() - used;
    if (partial_.size() - used < length) break;
    auto it = channels_.find(sendChannel_);
    // A reply to a session the client has closed has no reader: dropped.
    if (it != channels_.end()) {
      sendData(it->first, it->second, std::span(partial_).subspan(used, length));
    }
    used += length;
  }
  partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(used));
  room_.wait(lock, [this] { return down_ || waitingBytes() <= kMaxWaitingBytes; });
  if (down_) throw TransportError("connection shut down");
}

void SmpTransport::sendControl(std::uint16_t id, Channel& c, std::uint8_t flag) {
  std::uint8_t h[kHeaderSize] = {kSmpId, flag, static_cast<std::uint8_t>(id & 0xFF),
                                 static_cast<std::uint8_t>(id >> 8)};
  putLe32(h + 4, kHeaderSize);
  putLe32(h + 8, c.sent);
  putLe32(h + 12, c.granted);
  inner_->send(h);
}

void SmpTransport::sendData(std::uint16_t id, Channel& c, std::span<const std::uint8_t> payload) {
  if (!c.waiting.empty() || c.sent >= c.clientWindow) {
    c.waiting.emplace_back(payload.begin(), payload.end());
    return;
  }
  write(id, c, payload);
}

void SmpTransport::write(std::uint16_t id, Channel& c, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> packet(kHeaderSize + payload.size());
  packet[0] = kSmpId;
  packet[1] = Data;
  packet[2] = static_cast<std::uint8_t>(id & 0xFF);
  packet[3] = static_cast<std::uint8_t>(id >> 8);
  putLe32(packet.data() + 4, static_cast<std::uint32_t>(packet.size()));
  putLe32(packet.data() + 8, c.sent + 1);
  putLe32(packet.data() + 12, c.granted);
  std::copy(payload.begin(), payload.end(), packet.begin() + kHeaderSize);
  inner_->send(packet);
  ++c.sent;
}

void SmpTransport::flush(std::uint16_t id, Channel& c) {
  while (!c.waiting.empty() && c.sent < c.clientWindow) {
    std::vector<std::uint8_t> payload = std::move(c.waiting.front());
    c.waiting.pop_front();
    write(id, c, payload);
  }
}

std::size_t SmpTransport::waitingBytes() const {
  std::size_t total = 0;
  for (const auto& [id, c] : channels_)
    for (const auto& p : c.waiting) total += p.size();
  return total;
}

bool SmpTransport::waitReadable(int timeoutMs) {
  if (dataLeft_ > 0) return true;
  return inner_->waitReadable(timeoutMs);
}

void SmpTransport::shutdown() {
  {
    std::lock_guard lock(mutex_);
    down_ = true;
  }
  room_.notify_all();
  inner_->shutdown();
}

}  // namespace tessel::sqld::tds
