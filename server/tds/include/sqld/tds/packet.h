#pragma once

// Packets: the 8-byte header, reassembly of incoming messages and a streaming
// writer that sends each packet as soon as it is full. A MessageReader belongs
// to the one thread that reads a connection; a PacketWriter to the one thread
// that answers on it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sqld/tds/transport.h"

namespace tessel::sqld::tds {

enum class PacketType : std::uint8_t {
  SqlBatch = 0x01,
  PreTds7Login = 0x02,
  Rpc = 0x03,
  TabularResult = 0x04,
  Attention = 0x06,
  BulkLoad = 0x07,
  TransactionManager = 0x0E,
  Login7 = 0x10,
  Sspi = 0x11,
  PreLogin = 0x12,
};

constexpr std::uint8_t kStatusEndOfMessage = 0x01;
constexpr std::uint8_t kStatusIgnore = 0x02;
constexpr std::uint8_t kStatusResetConnection = 0x08;
constexpr std::uint8_t kStatusResetConnectionSkipTran = 0x10;
constexpr std::size_t kPacketHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
  std::uint8_t type = 0;
  std::uint8_t status = 0;
  std::uint16_t length = 0;  // header included
  std::uint16_t spid = 0;
  std::uint8_t packetId = 0;
  std::uint8_t window = 0;
};

PacketHeader parsePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize> bytes);

// One request as the client sent it, packets joined.
struct IncomingMessage {
  std::uint8_t type = 0;
  bool ignore = false;           // the client abandoned it; answer with a plain DONE
  bool resetConnection = false;  // a pooled connection asks for a fresh session first
  bool resetKeepsTransaction = false;
  std::vector<std::uint8_t> payload;
};

class MessageReader {
 public:
  MessageReader(Transport& transport, std::size_t maxMessageSize)
      : transport_(transport), maxMessageSize_(maxMessageSize) {}

  // The next complete message, or nullopt when the peer closed the stream
  // between messages. Throws ProtocolError for a bad header, a message over the
  // size limit or a stream that ends inside a message.
  std::optional<IncomingMessage> next();
  // True when bytes already buffered or on the socket can be read at once.
  bool buffered() const { return pos_ < end_; }
  void setMaxMessageSize(std::size_t size) { maxMessageSize_ = size; }
  // Called before each packet is read with the bytes of the message read so
  // far (0 before a message). It may block: while it does, nothing is read
  // from the socket and the client waits on TCP flow control.
  void setPacketGate(std::function<void(std::size_t)> gate) { gate_ = std::move(gate); }

 private:
  // False at end of stream before any byte of `out` was read.
  bool readExact(std::uint8_t* out, std::size_t count, bool atBoundary);

  Transport& transport_;
  std::size_t maxMessageSize_;
  std::function<void(std::size_t)> gate_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(65536);
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

class PacketWriter {
 public:
  PacketWriter(Transport& transport, std::size_t packetSize);

  void setPacketSize(std::size_t size);
  std::size_t packetSize() const { return packetSize_; }
  void setSpid(std::uint16_t spid) { spid_ = spid; }

  // Starts a message of `type`. A message still open is finished first.
  void begin(PacketType type);
  void write(std::span<const std::uint8_t> bytes);
  void write(std::string_view bytes);
  // Sends what is buffered as the last packet of the message.
  void finish();
  bool inMessage() const { return open_; }

 private:
  void flush(bool last);
  void startPacket();

  // Full packets wait until this many bytes can go in one send.
  static constexpr std::size_t kSendBatch = 32768;

  Transport& transport_;
  std::size_t packetSize_;
  std::vector<std::uint8_t> buffer_;  // packets not sent yet; the last one is open
  std::size_t packetStart_ = 0;
  std::uint8_t type_ = 0;
  std::uint16_t spid_ = 0;
  std::uint8_t packetId_ = 1;
  bool open_ = false;
};

}  // namespace tessel::sqld::tds
