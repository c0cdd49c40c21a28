// Arbitrary bytes from a client: packets are reassembled into messages and
// each message goes to the parser its type selects, as a session would.

#include <algorithm>
#include <cstring>

#include "sqld/tds/login.h"
#include "sqld/tds/packet.h"
#include "sqld/tds/requests.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"

namespace {

using namespace tessel::sqld::tds;

class BytesTransport : public Transport {
 public:
  BytesTransport(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  void send(std::span<const std::uint8_t>) override {}
  std::size_t receive(std::span<std::uint8_t> buffer) override {
    // Small reads exercise reassembly across buffer boundaries.
    std::size_t n = std::min({buffer.size(), size_ - pos_, std::size_t{7}});
    std::memcpy(buffer.data(), data_ + pos_, n);
    pos_ += n;
    return n;
  }
  bool waitReadable(int) override { return true; }
  void shutdown() override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

void dispatch(const IncomingMessage& m) {
  switch (static_cast<PacketType>(m.type)) {
    case PacketType::PreLogin:
      parsePreLogin(m.payload);
      break;
    case PacketType::Login7:
      parseLogin7(m.payload);
      break;
    case PacketType::SqlBatch:
      parseSqlBatch(m.payload, kTds71);
      parseSqlBatch(m.payload, kTds74);
      break;
    case PacketType::Rpc:
      parseRpc(m.payload, kTds71);
      parseRpc(m.payload, kTds74);
      break;
    case PacketType::TransactionManager:
      parseTransactionManager(m.payload);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BytesTransport transport(data, size);
  MessageReader reader(transport, 1 << 20);
  try {
    while (auto m = reader.next()) {
      try {
        dispatch(*m);
      } catch (const ProtocolError&) {
      }
    }
  } catch (const ProtocolError&) {
  }
  return 0;
}
