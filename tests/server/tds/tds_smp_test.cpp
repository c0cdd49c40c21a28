// The multiplexing layer: logical sessions unwrapped into whole requests and
// answered on their own session, the client's window respected, plain
// clients passed through, malformed headers rejected.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "memory_transport.h"
#include "sqld/tds/packet.h"
#include "sqld/tds/smp.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::test {
namespace {

using tds::SmpTransport;

std::string le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string smp(std::uint8_t flag, std::uint16_t sid, std::uint32_t seq, std::uint32_t wnd,
                const std::string& payload = {}) {
  return std::string{static_cast<char>(SmpTransport::kSmpId), static_cast<char>(flag),
                     static_cast<char>(sid & 0xFF), static_cast<char>(sid >> 8)} +
         le32(static_cast<std::uint32_t>(16 + payload.size())) + le32(seq) + le32(wnd) + payload;
}

std::string tdsPacket(const std::string& body) {
  const auto len = static_cast<std::uint16_t>(body.size() + 8);
  return std::string{1, 1, static_cast<char>(len >> 8), static_cast<char>(len & 0xFF), 0, 0, 1, 0} +
         body;
}

struct Sent {
  std::uint8_t flag;
  std::uint16_t sid;
  std::uint32_t seq;
  std::uint32_t wnd;
  std::string payload;
};

// Splits what the server sent into SMP packets.
std::vector<Sent> parse(const std::string& bytes) {
  std::vector<Sent> out;
  for (std::size_t at = 0; at < bytes.size();) {
    auto u32 = [&](std::size_t o) {
      std::uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(bytes[at + o + i]);
      return v;
    };
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at]), SmpTransport::kSmpId);
    const std::uint32_t len = u32(4);
    out.push_back({static_cast<std::uint8_t>(bytes[at + 1]),
                   static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at + 2]) |
                                              static_cast<std::uint8_t>(bytes[at + 3]) << 8),
                   u32(8), u32(12), bytes.substr(at + 16, len - 16)});
    at += len;
  }
  return out;
}

struct Link {
  MemoryTransport* wire;
  SmpTransport smp;
  tds::MessageReader reader;
  explicit Link(std::string input)
      : wire(new MemoryTransport),
        smp(std::unique_ptr<tds::Transport>(wire)),
        reader(smp, 1 << 16) {
    wire->input = std::move(input);
    smp.allow();
  }
  std::string next() {
    auto m = reader.next();
    return m ? std::string(m->payload.begin(), m->payload.end()) : "<end>";
  }
  void answer(std::uint16_t channel, const std::string& body) {
    smp.setSendChannel(channel);
    std::string p = tdsPacket(body);
    smp.send(std::span(reinterpret_cast<const std::uint8_t*>(p.data()), p.size()));
  }
};

TEST(TdsSmp, SessionsAreUnwrappedAndAnsweredOnTheirOwnChannel) {
  Link l(smp(SmpTransport::Syn, 0, 0, 4) + smp(SmpTransport::Syn, 1, 0, 4) +
         smp(SmpTransport::Data, 1, 1, 4, tdsPacket("one")) +
         smp(SmpTransport::Data, 0, 1, 4, tdsPacket("zero")) + smp(SmpTransport::Fin, 1, 0, 4));
  EXPECT_EQ(l.next(), "one");
  EXPECT_EQ(l.smp.receiveChannel(), 1);
  l.answer(1, "r1");
  EXPECT_EQ(l.next(), "zero");
  EXPECT_EQ(l.smp.receiveChannel(), 0);
  l.answer(0, "r0");
  EXPECT_EQ(l.next(), "<end>");  // the FIN is answered; then the stream ends
  l.answer(1, "late");           // to a closed session: dropped
  auto sent = parse(l.wire->sent);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].sid, 1);
  EXPECT_EQ(sent[0].seq, 1u);
  EXPECT_EQ(sent[0].payload, tdsPacket("r1"));
  EXPECT_EQ(sent[1].sid, 0);
  EXPECT_EQ(sent[1].payload, tdsPacket("r0"));
  EXPECT_EQ(sent[2].flag, SmpTransport::Fin);
  EXPECT_EQ(sent[2].sid, 1);
  EXPECT_EQ(sent[2].seq, 1u);  // the last DATA sent on it
}

TEST(TdsSmp, RepliesWaitForTheClientsWindowAndRequestsAreAcknowledged) {
  Link l(smp(SmpTransport::Syn, 0, 0, 1) + smp(SmpTransport::Data, 0, 1, 1, tdsPacket("a")) +
         smp(SmpTransport::Ack, 0, 0, 3) + smp(SmpTransport::Data, 0, 2, 3, tdsPacket("b")));
  EXPECT_EQ(l.next(), "a");
  for (const char* body : {"x", "y", "z"}) l.answer(0, body);
  EXPECT_EQ(parse(l.wire->sent).size(), 1u);  // the window holds one packet
  EXPECT_EQ(l.next(), "b");                   // the ACK opens it to three
  auto sent = parse(l.wire->sent);
  ASSERT_EQ(sent.size(), 4u);
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].flag, SmpTransport::Data);
    EXPECT_EQ(sent[i].seq, i + 1);
    EXPECT_EQ(sent[i].payload, tdsPacket(std::string(1, "xyz"[i])));
  }
  // Two requests in, the window granted grows from 4 to 6.
  EXPECT_EQ(sent[3].flag, SmpTransport::Ack);
  EXPECT_EQ(sent[3].wnd, 6u);
}

TEST(TdsSmp, PlainClientsPassThrough) {
  Link l(tdsPacket("plain"));
  EXPECT_EQ(l.next(), "plain");
  EXPECT_FALSE(l.smp.active());
  l.answer(0, "r");
  EXPECT_EQ(l.wire->sent, tdsPacket("r"));
}

TEST(TdsSmp, MalformedHeadersEndTheConnection) {
  const std::string syn = smp(SmpTransport::Syn, 0, 0, 4);
  std::string badId = smp(SmpTransport::Ack, 0, 0, 4);
  badId[0] = 0x54;
  std::string huge = smp(SmpTransport::Data, 0, 1, 4);
  huge.replace(4, 4, le32(16 + 40000));
  const std::string cases[] = {
      syn + badId,                                                           // not an SMP header
      syn + smp(SmpTransport::Data, 7, 1, 4, tdsPacket("x")),                // unknown session
      syn + smp(SmpTransport::Data, 0, 2, 4, tdsPacket("x")),                // sequence skips
      syn + syn,                                                             // opened twice
      syn + huge,                                                            // longer than a packet
      syn + smp(SmpTransport::Ack, 0, 0, 4, "xx"),                           // control with a body
      syn + smp(0x20, 0, 0, 4),                                              // unknown flag
      syn + smp(SmpTransport::Data, 0, 1, 4, tdsPacket("x")).substr(0, 20),  // cut short
  };
  for (const std::string& input : cases) {
    Link l(input);
    EXPECT_THROW(l.next(), tds::ProtocolError) << testing::PrintToString(input);
  }
}

}  // namespace
}  // namespace tessel::sqld::test
