// Sessions over a real loopback socket against the stub engine: login and its
// token order, version and packet-size negotiation, requests, ATTENTION,
// robustness and many sessions at once.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "memory_transport.h"
#include "session_fixture.h"
#include "tds_test_client.h"

namespace tessel::sqld::test {
namespace {

using namespace std::chrono_literals;

class TdsSession : public ListenerFixture {};

std::int64_t intValue(const WireValue& v) {
  std::uint64_t x = 0;
  for (std::size_t i = 0; i < v.bytes.size(); ++i)
    x |= std::uint64_t(static_cast<std::uint8_t>(v.bytes[i])) << (8 * i);
  return static_cast<std::int64_t>(x);
}

std::vector<std::uint8_t> types(const std::vector<Token>& tokens) {
  std::vector<std::uint8_t> out;
  for (const auto& t : tokens) out.push_back(t.type);
  return out;
}

const Token* find(const std::vector<Token>& tokens, std::uint8_t type) {
  for (const auto& t : tokens)
    if (t.type == type) return &t;
  return nullptr;
}

TEST_F(TdsSession, LoginAnswersInSqlServersOrder) {
  TestClient c;
  c.connect(port_);
  auto t = c.login();
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xE3, 0xE3, 0xAB, 0xAD, 0xE3, 0xFD}));
  EXPECT_EQ(t[0].envType, 1);
  EXPECT_EQ(t[0].newValue, "master");
  EXPECT_EQ(t[1].number, 5701);
  EXPECT_EQ(t[1].text, "Changed database context to 'master'.");
  EXPECT_EQ(t[2].envType, 7);
  EXPECT_EQ(t[2].newValue, std::string("\x09\x04\xD0\x00\x34", 5));
  EXPECT_EQ(t[3].envType, 2);
  EXPECT_EQ(t[3].newValue, "us_english");
  EXPECT_EQ(t[4].number, 5703);
  EXPECT_EQ(t[5].interface, 1);
  EXPECT_EQ(t[5].version, 0x74000004u);
  EXPECT_EQ(t[6].envType, 4);
  EXPECT_EQ(t[6].newValue, "4096");
  EXPECT_EQ(t[7].status, 0);
}

TEST_F(TdsSession, VersionsNegotiateDownAndFieldWidthsFollow) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0x71000001, 0x71000001}, {0x72090002, 0x72090002}, {0x730A0003, 0x730A0003},
      {0x730B0003, 0x730B0003}, {0x74000004, 0x74000004}, {0x75000000, 0x74000004}};
  for (auto [asked, expected] : cases) {
    TestClient c;
    c.connect(port_);
    LoginSpec spec;
    spec.version = asked;
    auto login = c.login(spec);
    ASSERT_TRUE(find(login, 0xAD));
    EXPECT_EQ(find(login, 0xAD)->version, expected);
    // The test decoder reads with the negotiated widths; a mismatch would throw.
    auto t = c.batch("select * from people");
    const Token* done = find(t, 0xFD);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->rowCount, 2u);
    EXPECT_EQ(done->status, 0x10);
  }
  TestClient old;
  old.connect(port_);
  LoginSpec tds70;
  tds70.version = 0x70000000;
  old.send(0x10, buildLogin7(tds70));
  auto m = old.receive();
  ASSERT_TRUE(m);
  // The refusal is in 7.0's layout (2-byte line number, 4-byte row count),
  // which the decoder checks to the last byte.
  auto refusal = decodeTokens(m->payload, tds70.version);
  ASSERT_EQ(types(refusal), (std::vector<std::uint8_t>{0xAA, 0xFD}));
  EXPECT_EQ(refusal[0].number, 4002);
  EXPECT_EQ(refusal[1].status, 0x02);
  EXPECT_TRUE(old.closedByServer());
}

TEST_F(TdsSession, RefusedLoginsCarrySqlServersErrorsAndClose) {
  struct Case {
    LoginSpec spec;
    std::vector<std::int32_t> numbers;
  };
  LoginSpec wrongPassword, wrongUser, trusted, noDb, otherLogin;
  wrongPassword.password = "nope";
  wrongUser.user = "bob";
  trusted.integrated = true;
  noDb.database = "nodb";
  otherLogin.user = "ANNA";
  otherLogin.password = "secret";
  const Case cases[] = {
      {wrongPassword, {18456}}, {wrongUser, {18456}}, {trusted, {18452}}, {noDb, {4060, 18456}}};
  for (const Case& k : cases) {
    TestClient c;
    c.connect(port_);
    auto t = c.login(k.spec);
    std::vector<std::int32_t> numbers;
    for (const auto& tok : t)
      if (tok.type == 0xAA) numbers.push_back(tok.number);
    EXPECT_EQ(numbers, k.numbers);
    EXPECT_EQ(t.back().type, 0xFD);
    EXPECT_EQ(t.back().status & 0x02, 0x02);
    if (k.numbers.back() == 18456) {
      EXPECT_EQ(find(t, 0xAA)->severity, k.numbers.size() == 1 ? 14 : 11);
    }
    EXPECT_TRUE(c.closedByServer());
  }
  TestClient c;
  c.connect(port_);
  auto t = c.login(otherLogin);
  EXPECT_TRUE(find(t, 0xAD));
  EXPECT_EQ(t[0].type, 0xE3);
}

// A client that says it can encrypt but sends its login in clear: served
// when the server does not insist, refused with 17835 when it does.
TEST_F(TdsSession, ALoginInClearIsRefusedWhenTheServerInsistsOnEncryption) {
  auto tls = tds::TlsContext::selfSigned();
  for (auto [mode, served] :
       {std::pair{tds::EncryptMode::Off, true}, std::pair{tds::EncryptMode::On, false},
        std::pair{tds::EncryptMode::Required, false}}) {
    SCOPED_TRACE(tds::encryptModeName(mode));
    tds::SessionSettings settings;
    settings.tls = tls;
    settings.encrypt = mode;
    restart(settings);
    TestClient c;
    c.connect(port_);
    auto t = c.login();
    EXPECT_EQ(find(t, 0xAD) != nullptr, served);
    if (!served) {
      ASSERT_TRUE(find(t, 0xAA));
      EXPECT_EQ(find(t, 0xAA)->number, 17835);
      EXPECT_EQ(find(t, 0xAA)->severity, 20);
      EXPECT_TRUE(c.closedByServer());
    }
  }
}

TEST_F(TdsSession, ErrorTextNamesTheUser) {
  TestClient c;
  c.connect(port_);
  LoginSpec spec;
  spec.user = "mallory";
  spec.password = "x";
  auto t = c.login(spec);
  ASSERT_TRUE(find(t, 0xAA));
  EXPECT_EQ(find(t, 0xAA)->text, "Login failed for user 'mallory'.");
  EXPECT_EQ(find(t, 0xAA)->server, "TESSEL");
}

TEST_F(TdsSession, PacketSizeIsNegotiatedAndSpidIsInEveryHeader) {
  for (auto [asked, granted] :
       {std::pair{512u, 512u}, std::pair{100000u, 32767u}, std::pair{0u, 4096u}}) {
    TestClient c;
    c.connect(port_);
    LoginSpec spec;
    spec.packetSize = asked;
    c.login(spec);
    EXPECT_EQ(c.packetSize(), granted);
    c.send(0x01, allHeaders() + utf16("select @@spid"), granted);
    auto spidMsg = c.receive();
    auto spidTokens = c.tokens(*spidMsg);
    std::int64_t spid = intValue(spidTokens[1].values[0]);
    c.send(0x01, allHeaders() + utf16("select * from medium"), granted);
    auto m = c.receive(30s);
    ASSERT_TRUE(m);
    for (std::size_t i = 0; i < m->packetLengths.size(); ++i) {
      if (i + 1 < m->packetLengths.size()) {
        EXPECT_EQ(m->packetLengths[i], granted);
      }
      EXPECT_EQ(m->spids[i], spid);
    }
    auto t = c.tokens(*m);
    EXPECT_EQ(t.back().rowCount, 2000u);
  }
}

TEST_F(TdsSession, OneDonePerStatementWithMoreUntilTheLast) {
  TestClient c;
  c.connect(port_);
  c.login();
  auto t = c.batch("SET NOCOUNT ON\nDECLARE @x int\nselect 1\nselect 'a'; set ansi_nulls on");
  std::vector<std::uint16_t> statuses;
  for (const auto& tok : t)
    if (tok.type == 0xFD) statuses.push_back(tok.status);
  EXPECT_EQ(statuses, (std::vector<std::uint16_t>{0x01, 0x11, 0x11, 0x00}));
}

TEST_F(TdsSession, ErrorsReachTheClientAndTheSessionGoesOn) {
  TestClient c;
  c.connect(port_);
  c.login();
  auto t = c.batch("select 1/0\nbogus statement\nTHROW_INTERNAL");
  std::vector<std::int32_t> numbers;
  for (const auto& tok : t)
    if (tok.type == 0xAA) numbers.push_back(tok.number);
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{8134, 102, 8630}));
  EXPECT_EQ(t.back().type, 0xFD);
  EXPECT_EQ(t.back().status & 0x03, 0x02);
  auto ok = c.batch("select 5");
  EXPECT_EQ(intValue(ok[1].values[0]), 5);
}

TEST_F(TdsSession, UseDatabaseChangesContextWithMessage) {
  TestClient c;
  c.connect(port_);
  c.login();
  auto t = c.batch("use shop");
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xFD}));
  EXPECT_EQ(t[0].newValue, "shop");
  EXPECT_EQ(t[0].oldValue, "master");
  EXPECT_EQ(t[1].number, 5701);
}

// A database with another default collation than the one before it is
// announced with the collation ENVCHANGE, new bytes and old.
TEST_F(TdsSession, UseOfADatabaseWithAnotherCollationSendsTheCollation) {
  const std::string latin("\x09\x04\xD0\x00\x34", 5), cyrillic("\x19\x04\xD0\x00\x00", 5);
  TestClient c;
  c.connect(port_);
  c.login();
  auto t = c.batch("use cyrillic_shop");
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xE3, 0xFD}));
  EXPECT_EQ(t[2].envType, 7);
  EXPECT_EQ(t[2].newValue, cyrillic);
  EXPECT_EQ(t[2].oldValue, latin);
  EXPECT_EQ(types(c.batch("use cyrillic_other")), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xFD}));
  t = c.batch("use shop");
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xE3, 0xFD}));
  EXPECT_EQ(t[2].newValue, latin);
  EXPECT_EQ(t[2].oldValue, cyrillic);
}

TEST_F(TdsSession, ConnectionResetStartsAFreshEngineSession) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.batch("use shop");
  c.send(0x01, allHeaders() + utf16("select db_name()"), 4096, 0x08);
  auto t = c.tokens(*c.receive());
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0x81, 0xD1, 0xFD}));
  EXPECT_EQ(t[0].envType, 18);
  EXPECT_EQ(fromUtf16(t[2].values[0].bytes), "master");
  // The acknowledgement comes once.
  EXPECT_EQ(c.batch("select 1")[0].type, 0x81);
}

TEST_F(TdsSession, SpResetConnectionCallResetsLikeTheStatusBit) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.batch("use shop");
  std::string name = utf16("sp_reset_connection");
  c.send(0x03, allHeaders() + std::string{static_cast<char>(name.size() / 2), 0} + name +
                   std::string("\0\0", 2));
  auto t = c.tokens(*c.receive());
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xFE}));
  EXPECT_EQ(t[0].envType, 18);
  EXPECT_EQ(t[1].status, 0);
  auto after = c.batch("select db_name()");
  ASSERT_EQ(types(after), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD}));
  EXPECT_EQ(fromUtf16(after[1].values[0].bytes), "master");
}

TEST_F(TdsSession, ResetOfASessionWithAnOpenTransactionAnnouncesItsRollback) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.send(0x0E, allHeaders() + std::string("\x05\0\0\0", 4));
  auto begin = c.tokens(*c.receive());
  ASSERT_EQ(begin[0].envType, 8);
  // A pooling client that still holds the descriptor must learn that the
  // reset ended the transaction, or it keeps sending a dead descriptor.
  std::string name = utf16("sp_reset_connection");
  c.send(0x03, allHeaders() + std::string{static_cast<char>(name.size() / 2), 0} + name +
                   std::string("\0\0", 2));
  auto t = c.tokens(*c.receive());
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xE3, 0xE3, 0xFE}));
  EXPECT_EQ(t[0].envType, 18);
  EXPECT_EQ(t[1].envType, 10);
  EXPECT_EQ(t[1].oldValue, begin[0].newValue);
  // Without a transaction the reset says nothing more than its acknowledgement.
  c.send(0x01, allHeaders() + utf16("select 1"), 4096, 0x08);
  auto again = c.tokens(*c.receive());
  ASSERT_EQ(types(again), (std::vector<std::uint8_t>{0xE3, 0x81, 0xD1, 0xFD}));
  EXPECT_EQ(again[0].envType, 18);
}

TEST_F(TdsSession, AttentionStopsAWaitforWithin100ms) {
  TestClient c;
  c.connect(port_);
  c.login();
  auto best = std::chrono::milliseconds::max();
  for (int attempt = 0; attempt < 3; ++attempt) {
    c.send(0x01, allHeaders() + utf16("waitfor delay '00:00:10'"));
    std::this_thread::sleep_for(50ms);
    auto start = std::chrono::steady_clock::now();
    c.send(0x06, "");
    auto m = c.receive(5s);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(m);
    // The interrupted batch's response ends first, with a final DONE; the
    // acknowledgement follows as a message of its own.
    auto t = c.tokens(*m);
    ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0xFD}));
    EXPECT_EQ(t[0].status & 0x21, 0);
    auto ack = c.receive(5s);
    took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
    ASSERT_TRUE(ack);
    auto a = c.tokens(*ack);
    ASSERT_EQ(types(a), (std::vector<std::uint8_t>{0xFD}));
    EXPECT_EQ(a[0].status, 0x20);
    EXPECT_EQ(ack->statuses.back() & 0x01, 0x01);
    best = std::min(best, took);
  }
  EXPECT_LT(best.count(), 100);
  auto after = c.batch("select 1");
  EXPECT_EQ(after.back().status, 0x10);
}

TEST_F(TdsSession, AttentionIsAcknowledgedEvenAfterTheRequestFinished) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.batch("select 1");
  c.send(0x06, "");
  auto m = c.receive();
  ASSERT_TRUE(m);
  auto t = c.tokens(*m);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].status, 0x20);
  auto after = c.batch("select 2");
  EXPECT_EQ(intValue(after[1].values[0]), 2);
}

TEST_F(TdsSession, AttentionDuringALargeResultEndsIt) {
  TestClient c;
  LoginSpec spec;
  spec.packetSize = 512;
  c.connect(port_);
  c.login(spec);
  c.send(0x01, allHeaders() + utf16("select * from big"), 512);
  c.send(0x06, "");
  auto m = c.receive(30s);
  ASSERT_TRUE(m);
  auto t = c.tokens(*m);
  // The cut-short result still ends as a response: a final DONE, no MORE.
  ASSERT_EQ(t.back().type, 0xFD);
  EXPECT_EQ(t.back().status & 0x21, 0);
  std::size_t rows = 0;
  for (const auto& tok : t) rows += tok.type == 0xD1;
  EXPECT_LT(rows, 100000u);
  auto ack = c.receive(30s);
  ASSERT_TRUE(ack);
  auto a = c.tokens(*ack);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].status, 0x20);
  EXPECT_EQ(c.batch("select 1").back().status, 0x10);
}

TEST_F(TdsSession, IgnoredAndUnknownMessagesGetTheirAnswers) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.send(0x01, allHeaders() + utf16("select 1"), 4096, 0x02);
  auto ignored = c.tokens(*c.receive());
  ASSERT_EQ(ignored.size(), 1u);
  EXPECT_EQ(ignored[0].type, 0xFD);
  EXPECT_EQ(ignored[0].status, 0);
  c.send(0x05, "xyz");
  auto unknown = c.tokens(*c.receive());
  ASSERT_EQ(types(unknown), (std::vector<std::uint8_t>{0xAA, 0xFD}));
  EXPECT_EQ(unknown[0].number, 4002);
  EXPECT_NE(unknown[0].text.find("0x05"), std::string::npos);
  // Bulk-load data that no INSERT BULK announced is refused, not run.
  c.send(0x07, "xyz");
  auto stray = c.tokens(*c.receive());
  ASSERT_EQ(types(stray), (std::vector<std::uint8_t>{0xAA, 0xFD}));
  EXPECT_EQ(stray[0].number, 4002);
  EXPECT_EQ(c.batch("select 3").back().status, 0x10);
}

TEST_F(TdsSession, MalformedMessageEndsOnlyItsOwnSession) {
  TestClient good, bad;
  good.connect(port_);
  good.login();
  bad.connect(port_);
  bad.login();
  bad.send(0x03, allHeaders() + std::string("\x05\0s\0p\0", 6));  // name runs past the end
  auto m = bad.receive();
  ASSERT_TRUE(m);
  auto t = bad.tokens(*m);
  EXPECT_EQ(t[0].number, 4002);
  EXPECT_EQ(t[0].severity, 20);
  EXPECT_TRUE(bad.closedByServer());
  // A header announcing a packet longer than the maximum also ends a session.
  TestClient worse;
  worse.connect(port_);
  worse.login();
  worse.sendRaw(std::string("\x01\x01\xFF\xFF\0\0\x01\0", 8));
  EXPECT_TRUE(worse.closedByServer());
  EXPECT_EQ(good.batch("select 4").back().status, 0x10);
}

TEST_F(TdsSession, TransactionManagerRequestsCarryDescriptors) {
  TestClient c;
  c.connect(port_);
  c.login();
  c.send(0x0E, allHeaders() + std::string("\x05\0\0\0", 4));
  auto begin = c.tokens(*c.receive());
  ASSERT_EQ(types(begin), (std::vector<std::uint8_t>{0xE3, 0xFD}));
  EXPECT_EQ(begin[0].envType, 8);
  ASSERT_EQ(begin[0].newValue.size(), 8u);
  EXPECT_TRUE(begin[0].oldValue.empty());
  // Names travel as a byte count and UCS-2; a savepoint is taken, a
  // rollback to a name nobody gave fails with the name in its text.
  auto named = [](char type, const std::string& name) {
    return allHeaders() + std::string{type, 0, static_cast<char>(utf16(name).size())} + utf16(name);
  };
  c.send(0x0E, named(0x09, "sp1"));
  auto save = c.tokens(*c.receive());
  ASSERT_EQ(types(save), (std::vector<std::uint8_t>{0xFD}));
  EXPECT_EQ(save[0].status, 0);
  c.send(0x0E, named(0x08, "nope") + std::string(1, '\0'));
  auto refused = c.tokens(*c.receive());
  ASSERT_EQ(types(refused), (std::vector<std::uint8_t>{0xAA, 0xFD}));
  EXPECT_EQ(refused[0].number, 6401);
  EXPECT_NE(refused[0].text.find("nope"), std::string::npos);
  c.send(0x0E, named(0x08, "sp1") + std::string(1, '\0'));
  EXPECT_EQ(types(c.tokens(*c.receive())), (std::vector<std::uint8_t>{0xFD}));
  // A commit that begins the next transaction: its end, then the new one.
  c.send(0x0E, named(0x07, "") + std::string("\x01\x02", 2) + std::string(1, '\x04') + utf16("tx"));
  std::vector<Token> chained;
  for (const Token& t : c.tokens(*c.receive()))
    if (t.type == 0xE3) chained.push_back(t);
  ASSERT_EQ(chained.size(), 2u);
  EXPECT_EQ(chained[0].envType, 9);
  EXPECT_EQ(chained[0].oldValue, begin[0].newValue);
  EXPECT_EQ(chained[1].envType, 8);
  c.send(0x0E, allHeaders() + std::string("\x07\0\0\0", 4));
  auto commit = c.tokens(*c.receive());
  EXPECT_EQ(commit[0].envType, 9);
  EXPECT_EQ(commit[0].oldValue, chained[1].newValue);

  TestClient old;
  old.connect(port_);
  LoginSpec spec;
  spec.version = 0x71000001;
  old.login(spec);
  old.send(0x0E, allHeaders() + std::string("\x05\0\0\0", 4));
  EXPECT_EQ(old.tokens(*old.receive())[0].number, 4002);
}

TEST_F(TdsSession, RpcReturnsStatusOutputValuesAndDoneProc) {
  TestClient c;
  c.connect(port_);
  c.login();
  std::string name = utf16("sp_echo");
  std::string p = allHeaders() + std::string{static_cast<char>(name.size() / 2), 0} + name +
                  std::string("\0\0", 2);
  std::string pn = utf16("@x");
  p += static_cast<char>(2);
  p += pn;
  p += std::string("\x01\x26\x04\x04\x2A\0\0\0", 8);
  c.send(0x03, p);
  auto t = c.tokens(*c.receive());
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFF, 0x79, 0xAC, 0xFE}));
  EXPECT_EQ(t[2].status & 0x01, 0x01);
  EXPECT_EQ(t[3].returnStatus, 7);
  EXPECT_EQ(t[4].paramName, "@x");
  EXPECT_EQ(intValue(t[4].values[0]), 42);
  EXPECT_EQ(t[5].status, 0);
}

TEST_F(TdsSession, ProcedureCallsAlwaysEndWithDoneProc) {
  TestClient c;
  c.connect(port_);
  c.login();
  std::string name = utf16("sp_plain");
  std::string p = allHeaders() + std::string{static_cast<char>(name.size() / 2), 0} + name +
                  std::string("\0\0", 2);
  c.send(0x03, p);
  auto t = c.tokens(*c.receive());
  ASSERT_EQ(types(t), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD, 0xFE}));
  EXPECT_EQ(t[2].status, 0x11);
  EXPECT_EQ(t[3].status, 0x00);
}

TEST_F(TdsSession, OdbcLoginReachesTheEngine) {
  for (bool odbc : {false, true}) {
    TestClient c;
    c.connect(port_);
    LoginSpec spec;
    spec.odbc = odbc;
    c.login(spec);
    auto t = c.batch("select @@options");
    EXPECT_EQ(intValue(t[1].values[0]) != 0, odbc);
  }
}

TEST_F(TdsSession, IdleClientsAreDropped) {
  tds::SessionSettings s;
  s.idleTimeoutSeconds = 1;
  restart(s);
  TestClient c;
  c.connect(port_);
  c.login();
  EXPECT_TRUE(c.closedByServer(5s));
}

TEST_F(TdsSession, StoppingTheListenerEndsBusyAndIdleSessions) {
  TestClient busy, idle, loggingIn;
  busy.connect(port_);
  busy.login();
  idle.connect(port_);
  idle.login();
  loggingIn.connect(port_);
  busy.send(0x01, allHeaders() + utf16("waitfor delay '00:01:00'"));
  std::this_thread::sleep_for(50ms);
  auto start = std::chrono::steady_clock::now();
  listener_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(busy.closedByServer());
  EXPECT_TRUE(idle.closedByServer());
  EXPECT_TRUE(loggingIn.closedByServer());
}

TEST_F(TdsSession, SessionsBeyondTheLimitGet17809UntilOneEnds) {
  restart({}, 2);
  auto first = std::make_unique<TestClient>();
  TestClient second, third;
  first->connect(port_);
  first->login();
  second.connect(port_);
  second.login();
  third.connect(port_);
  auto refused = third.login();
  ASSERT_TRUE(find(refused, 0xAA));
  EXPECT_EQ(find(refused, 0xAA)->number, 17809);
  EXPECT_NE(find(refused, 0xAA)->text.find("'2'"), std::string::npos);
  EXPECT_TRUE(third.closedByServer());
  first.reset();
  bool admitted = false;
  for (int i = 0; i < 50 && !admitted; ++i) {
    std::this_thread::sleep_for(20ms);
    TestClient next;
    next.connect(port_);
    admitted = find(next.login(), 0xAD) != nullptr;
  }
  EXPECT_TRUE(admitted);
}

TEST_F(TdsSession, ClientsStalledInsideAMessageAreDropped) {
  tds::SessionSettings s;
  s.idleTimeoutSeconds = 1;
  s.loginTimeoutSeconds = 1;
  restart(s);
  TestClient beforeLogin, afterLogin;
  beforeLogin.connect(port_);
  beforeLogin.sendRaw(std::string("\x12\x01\x00", 3));  // half a PRELOGIN header
  afterLogin.connect(port_);
  afterLogin.login();
  afterLogin.sendRaw(std::string("\x01\x01\x00\x40\0\0\x01\0abc", 11));  // 3 of 56 bytes
  EXPECT_TRUE(beforeLogin.closedByServer(5s));
  EXPECT_TRUE(afterLogin.closedByServer(5s));
}

TEST_F(TdsSession, ClientsThatStopReadingAreDropped) {
  tds::SessionSettings s;
  s.idleTimeoutSeconds = 1;
  restart(s);
  TestClient reader;
  reader.connect(port_);
  reader.login();
  reader.send(0x01, allHeaders() + utf16("select * from big"));
  // Nothing is read: the server's sends fill the socket buffers and stall,
  // and the session must end on its own.
  for (int i = 0; i < 50 && listener_->sessionCount() > 0; ++i) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(listener_->sessionCount(), 0u);
}

TEST_F(TdsSession, FiftySessionsAtOnce) {
  constexpr int kSessions = 50;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < kSessions; ++i) {
    clients.push_back(std::make_unique<TestClient>());
    clients.back()->connect(port_);
  }
  std::vector<std::int64_t> spids(kSessions);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kSessions; ++i) {
    threads.emplace_back([&, i] {
      try {
        clients[i]->login();
        auto t =
            clients[i]->batch("select @@spid; waitfor delay '00:00:00.200'; select * from people");
        spids[i] = intValue(t[1].values[0]);
      } catch (const std::exception&) {
        ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(std::set<std::int64_t>(spids.begin(), spids.end()).size(),
            static_cast<std::size_t>(kSessions));
}

}  // namespace
}  // namespace tessel::sqld::test

namespace tessel::sqld::test {
namespace {

// A whole session over a scripted transport: the client's bytes are fixed in
// advance and the link fails where the test says.
class TdsSessionFaults : public ::testing::Test {
 protected:
  static std::string packet(std::uint8_t type, const std::string& payload) {
    std::uint16_t len = static_cast<std::uint16_t>(payload.size() + 8);
    return std::string{static_cast<char>(type),
                       1,
                       static_cast<char>(len >> 8),
                       static_cast<char>(len & 0xFF),
                       0,
                       0,
                       1,
                       0} +
           payload;
  }
  static std::string loginAndBatch(const std::string& sql) {
    return packet(0x12, buildPreLogin()) + packet(0x10, buildLogin7(LoginSpec{})) +
           packet(0x01, allHeaders() + utf16(sql));
  }
  // Runs a session to its end; returns how long it took and what it sent.
  std::chrono::milliseconds run(std::unique_ptr<MemoryTransport> transport,
                                std::string* sent = nullptr) {
    auto start = std::chrono::steady_clock::now();
    MemoryTransport* raw = transport.get();
    tds::TdsSession session(std::move(transport), *engine_, credentials_, {}, log_, 51, "scripted");
    session.run();
    if (sent) *sent = raw->sent;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  }
  void SetUp() override { credentials_.add("sa", "pw"); }

  std::unique_ptr<Engine> engine_ = createStubEngine(EngineOptions{});
  tds::Credentials credentials_;
  tds::Log log_{true};
};

TEST_F(TdsSessionFaults, LinkDroppingMidResultEndsTheSessionCleanly) {
  auto t = std::make_unique<MemoryTransport>();
  t->input = loginAndBatch("select * from big");
  t->holdOpen = true;
  t->dropSendAfter = 50000;
  EXPECT_LT(run(std::move(t)).count(), 5000);
}

TEST_F(TdsSessionFaults, ClientLeavingDuringAWaitforStopsIt) {
  auto t = std::make_unique<MemoryTransport>();
  t->input = loginAndBatch("waitfor delay '00:00:10'");
  EXPECT_LT(run(std::move(t)).count(), 2000);
}

TEST_F(TdsSessionFaults, StreamEndingInsideAPacketIsAMalformedMessage) {
  auto t = std::make_unique<MemoryTransport>();
  std::string input = loginAndBatch("select 1");
  t->input = input.substr(0, input.size() - 3);
  std::string sent;
  run(std::move(t), &sent);
  // The login was answered (LOGINACK), then the fatal error 4002 followed.
  EXPECT_NE(sent.find(utf16("Microsoft SQL Server")), std::string::npos);
  EXPECT_NE(sent.find(utf16("connection closed inside a packet")), std::string::npos);
}

}  // namespace
}  // namespace tessel::sqld::test
