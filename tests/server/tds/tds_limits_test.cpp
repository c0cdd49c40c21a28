// tessel-sqld's program logic (serving the stub engine) against clients that
// try to exhaust it: connections that never log in, and a client that sends
// requests far faster than they run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "server_process.h"
#include "tds_test_client.h"

namespace tessel::sqld::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A line of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(int pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

bool loggedIn(const std::vector<Token>& tokens) {
  for (const auto& t : tokens)
    if (t.type == 0xAD) return true;
  return false;
}

class TdsLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    // Under AddressSanitizer freed blocks stay mapped in a quarantine of
    // 256 MiB that would hide what the server really holds.
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "quarantine_size_mb=8").c_str(),
             1);
    server_ = std::make_unique<ServerProcess>(
        TDS_STUB_SERVER, std::vector<std::string>{"--password", "pw", "--quiet"});
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    port_ = static_cast<std::uint16_t>(server_->port());
  }

  std::unique_ptr<ServerProcess> server_;
  std::uint16_t port_ = 0;
};

TEST_F(TdsLimits, SilentConnectionsNeitherLockOutLoginsNorStay) {
  TestClient before;
  before.connect(port_);
  ASSERT_TRUE(loggedIn(before.login()));

  // More than the 256 sessions the server serves: all of them only connect.
  std::vector<std::unique_ptr<TestClient>> silent;
  for (int i = 0; i < 300; ++i) {
    silent.push_back(std::make_unique<TestClient>());
    silent.back()->connect(port_);
  }
  const auto flooded = Clock::now();
  TestClient after;
  after.connect(port_);
  EXPECT_TRUE(loggedIn(after.login()));
  EXPECT_LT(Clock::now() - flooded, 2s);
  EXPECT_EQ(after.batch("select 7")[1].values.at(0).bytes, std::string("\x07\0\0\0", 4));
  EXPECT_EQ(before.batch("select 8")[1].values.at(0).bytes, std::string("\x08\0\0\0", 4));

  // Every silent one is closed once the login time-out (5 s) has passed.
  int open = 0;
  for (auto& c : silent)
    open += c->closedByServer(
                std::chrono::duration_cast<std::chrono::milliseconds>(flooded + 9s - Clock::now()))
                ? 0
                : 1;
  EXPECT_EQ(open, 0);
  EXPECT_LT(Clock::now() - flooded, 9s);
  EXPECT_FALSE(before.closedByServer(10ms));
}

TEST_F(TdsLimits, PipelinedRequestsAreAllAnsweredInOrderWithBoundedMemory) {
  TestClient c;
  c.connect(port_);
  LoginSpec spec;
  spec.packetSize = 32767;
  ASSERT_TRUE(loggedIn(c.login(spec)));

  // More small requests than the queue holds, behind one that waits: the
  // client waits on TCP, the session goes on.
  constexpr int kSmall = 200;
  std::thread small([&] {
    c.send(0x01, allHeaders() + utf16("waitfor delay '00:00:00.500'"));
    for (int i = 1; i <= kSmall; ++i)
      c.send(0x01, allHeaders() + utf16("select " + std::to_string(i)));
  });
  auto waited = c.receive(30s);
  ASSERT_TRUE(waited);
  int inOrder = 0;
  for (int i = 1; i <= kSmall; ++i) {
    auto m = c.receive(30s);
    if (!m) break;
    auto t = c.tokens(*m);
    std::string expected(4, '\0');
    expected[0] = static_cast<char>(i & 0xFF);
    expected[1] = static_cast<char>(i >> 8);
    if (t.size() > 1 && !t[1].values.empty() && t[1].values[0].bytes == expected) ++inOrder;
  }
  small.join();
  EXPECT_EQ(inOrder, kSmall);

  // Large requests sent without waiting for answers: the server holds the
  // one it runs and a few MiB of the next, not all of them. Bulk-load data
  // without INSERT BULK is refused unread, so the time goes to the transfer.
  constexpr int kLarge = 16;
  const std::string large(32 << 20, 'x');
  const long rssBefore = statusKiB(server_->pid(), "VmRSS");
  std::thread sender([&] {
    for (int i = 0; i < kLarge; ++i) c.send(0x07, large, c.packetSize());
    c.send(0x01, allHeaders() + utf16("select 99"));
  });
  int refused = 0;
  for (int i = 0; i < kLarge; ++i) {
    auto m = c.receive(60s);
    if (!m) break;
    auto t = c.tokens(*m);
    refused += !t.empty() && t[0].type == 0xAA && t[0].number == 4002 ? 1 : 0;
  }
  auto last = c.receive(30s);
  sender.join();
  EXPECT_EQ(refused, kLarge);
  ASSERT_TRUE(last);
  EXPECT_EQ(c.tokens(*last).at(1).values.at(0).bytes, std::string("\x63\0\0\0", 4));
  // Queued whole, the 512 MiB would all be in the server at once.
  const long peakMiB = statusKiB(server_->pid(), "VmHWM") / 1024;
  EXPECT_LT(peakMiB, rssBefore / 1024 + 128) << "peak " << peakMiB << " MiB";
}

}  // namespace
}  // namespace tessel::sqld::test
