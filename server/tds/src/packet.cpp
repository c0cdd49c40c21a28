#include "sqld/tds/packet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

PacketHeader parsePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize> bytes) {
  ByteReader r(bytes);
  PacketHeader h;
  h.type = r.u8("packet type");
  h.status = r.u8("packet status");
  h.length = r.u16be("packet length");
  h.spid = r.u16be("packet spid");
  h.packetId = r.u8("packet id");
  h.window = r.u8("packet window");
  return h;
}

bool MessageReader::readExact(std::uint8_t* out, std::size_t count, bool atBoundary) {
  std::size_t got = 0;
  while (got < count) {
    if (pos_ == end_) {
      pos_ = end_ = 0;
      std::size_t n = transport_.receive(buffer_);
      if (n == 0) {
        if (atBoundary && got == 0) return false;
        throw ProtocolError("connection closed inside a packet (" + std::to_string(got) + " of " +
                            std::to_string(count) + " bytes read)");
      }
      end_ = n;
    }
    std::size_t take = std::min(count - got, end_ - pos_);
    std::memcpy(out + got, buffer_.data() + pos_, take);
    pos_ += take;
    got += take;
  }
  return true;
}

std::optional<IncomingMessage> MessageReader::next() {
  IncomingMessage message;
  bool first = true;
  for (;;) {
    if (gate_) gate_(message.payload.size());
    std::array<std::uint8_t, kPacketHeaderSize> raw{};
    if (!readExact(raw.data(), raw.size(), first)) return std::nullopt;
    PacketHeader h = parsePacketHeader(raw);
    if (h.length < kPacketHeaderSize || h.length > kMaxPacketSize) {
      throw ProtocolError("packet length " + std::to_string(h.length) + " outside 8.." +
                          std::to_string(kMaxPacketSize));
    }
    if (first) {
      message.type = h.type;
    } else if (h.type != message.type) {
      throw ProtocolError("packet type changed inside a message from " +
                          std::to_string(message.type) + " to " + std::to_string(h.type));
    }
    std::size_t body = h.length - kPacketHeaderSize;
    if (message.payload.size() + body > maxMessageSize_) {
      throw ProtocolError("message larger than the limit of " + std::to_string(maxMessageSize_) +
                          " bytes");
    }
    std::size_t at = message.payload.size();
    message.payload.resize(at + body);
    if (body > 0) readExact(message.payload.data() + at, body, false);
    if (first && (h.status & (kStatusResetConnection | kStatusResetConnectionSkipTran))) {
      message.resetConnection = true;
      message.resetKeepsTransaction = (h.status & kStatusResetConnectionSkipTran) != 0;
    }
    first = false;
    if (h.status & kStatusIgnore) message.ignore = true;
    if (h.status & kStatusEndOfMessage) return message;
  }
}

PacketWriter::PacketWriter(Transport& transport, std::size_t packetSize)
    : transport_(transport), packetSize_(packetSize) {
  buffer_.reserve(std::max(packetSize_, kSendBatch) + kMaxPacketSize);
}

void PacketWriter::setPacketSize(std::size_t size) {
  packetSize_ = std::clamp(size, kMinPacketSize, kMaxPacketSize);
  buffer_.reserve(std::max(packetSize_, kSendBatch) + kMaxPacketSize);
}

void PacketWriter::begin(PacketType type) {
  if (open_) finish();
  type_ = static_cast<std::uint8_t>(type);
  packetId_ = 1;
  buffer_.clear();
  startPacket();
  open_ = true;
}

void PacketWriter::startPacket() {
  packetStart_ = buffer_.size();
  buffer_.resize(packetStart_ + kPacketHeaderSize);
}

void PacketWriter::write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    std::size_t used = buffer_.size() - packetStart_;
    if (used == packetSize_) {
      flush(false);
      used = kPacketHeaderSize;
    }
    std::size_t take = std::min(bytes.size(), packetSize_ - used);
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    bytes = bytes.subspan(take);
  }
}

void PacketWriter::write(std::string_view bytes) {
  write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void PacketWriter::finish() {
  if (!open_) return;
  open_ = false;
  flush(true);
}

void PacketWriter::flush(bool last) {
  auto length = static_cast<std::uint16_t>(buffer_.size() - packetStart_);
  std::uint8_t* h = buffer_.data() + packetStart_;
  h[0] = type_;
  h[1] = last ? kStatusEndOfMessage : 0;
  h[2] = static_cast<std::uint8_t>(length >> 8);
  h[3] = static_cast<std::uint8_t>(length);
  h[4] = static_cast<std::uint8_t>(spid_ >> 8);
  h[5] = static_cast<std::uint8_t>(spid_);
  h[6] = packetId_++;
  h[7] = 0;
  // Full packets of a message leave together, a batch at a time; the last
  // one goes at once. When sending fails the bytes stay, as they were.
  if (last || buffer_.size() >= kSendBatch) {
    transport_.send(buffer_);
    buffer_.clear();
  }
  if (!last) startPacket();
}

}  // namespace tessel::sqld::tds
