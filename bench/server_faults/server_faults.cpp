// One client sends 16 requests of 60 MiB to tessel-sqld without waiting for
// the answers, as a client that writes faster than the server works. The
// requests are bulk-load data without INSERT BULK, which the server refuses
// unread, so what it holds is what the listener buffers. Then 100 clients
// run explicit transactions on a shared table at the same time (BEGIN TRAN,
// a read, an update, COMMIT, each its own request, LOCK_TIMEOUT -1). Prints
//   RATE server_rss_mib_pipelined <peak RSS of the server minus its RSS before, MiB>
//   RATE explicit_tx_success_pct <committed transactions of those begun, percent>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_main.h"
#include "server_process.h"
#include "tds_test_client.h"

namespace {

using namespace tessel::sqld::test;

constexpr int kRequests = 16;
constexpr std::size_t kRequestBytes = std::size_t{60} << 20;

long statusKiB(int pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  throw std::runtime_error("no " + key + " for process " + std::to_string(pid));
}

constexpr int kSessions = 100;
constexpr int kTransactionsEach = 5;

bool failed(const std::vector<Token>& tokens) {
  for (const Token& t : tokens)
    if (t.type == 0xAA) return true;
  return false;
}

// The share of explicit transactions of 100 concurrent sessions that commit.
int transactionSuccessPercent(std::uint16_t port, const std::string& password) {
  {
    TestClient setup;
    setup.connect(port);
    LoginSpec spec;
    spec.password = password;
    setup.login(spec);
    if (failed(setup.batch("CREATE TABLE acct (id int PRIMARY KEY, bal int NOT NULL) "
                           "INSERT acct VALUES (1, 0) INSERT acct VALUES (2, 0)")))
      throw std::runtime_error("cannot create the table of the transactions");
  }
  // The sessions log in one after the other (connections that have not
  // logged in yet are bounded apart), then all run at once.
  std::vector<std::unique_ptr<TestClient>> sessions;
  for (int i = 0; i < kSessions; ++i) {
    auto client = std::make_unique<TestClient>();
    client->connect(port);
    LoginSpec spec;
    spec.password = password;
    client->login(spec);
    client->batch("SET LOCK_TIMEOUT -1");
    sessions.push_back(std::move(client));
  }
  std::atomic<int> committed{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kSessions; ++i) {
    clients.emplace_back([&, i] {
      try {
        TestClient& client = *sessions[static_cast<std::size_t>(i)];
        const std::string id = std::to_string(1 + i % 2);
        for (int t = 0; t < kTransactionsEach; ++t) {
          bool ok = !failed(client.batch("BEGIN TRAN"));
          ok = !failed(client.batch("SELECT bal FROM acct WHERE id = " + id)) && ok;
          ok = !failed(client.batch("UPDATE acct SET bal = bal + 1 WHERE id = " + id)) && ok;
          ok = !failed(client.batch("COMMIT")) && ok;
          if (ok) ++committed;
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "client %d: %s\n", i, e.what());
      }
    });
  }
  for (auto& c : clients) c.join();
  return committed * 100 / (kSessions * kTransactionsEach);
}

int run() {
  ServerProcess server(TESSEL_SQLD_PATH, {"--password", "bench-faults", "--quiet", "--memory"});
  TestClient client;
  client.connect(static_cast<std::uint16_t>(server.port()));
  LoginSpec spec;
  spec.password = "bench-faults";
  spec.packetSize = 32767;
  client.login(spec);
  const long before = statusKiB(server.pid(), "VmRSS");
  const std::string request(kRequestBytes, 'x');
  std::thread sender([&] {
    for (int i = 0; i < kRequests; ++i) client.send(0x07, request, client.packetSize());
  });
  int answered = 0;
  while (answered < kRequests && client.receive(std::chrono::seconds(120))) ++answered;
  sender.join();
  if (answered != kRequests) throw std::runtime_error("not every request was answered");
  const long peak = statusKiB(server.pid(), "VmHWM");
  std::printf("RATE server_rss_mib_pipelined %ld\n", (peak - before) / 1024);
  std::printf("RATE explicit_tx_success_pct %d\n",
              transactionSuccessPercent(static_cast<std::uint16_t>(server.port()), "bench-faults"));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(
      argc, argv, "bench_server_faults",
      "Usage: bench_server_faults\n"
      "Pipelines 16 requests of 60 MiB to tessel-sqld, then runs explicit transactions\n"
      "from 100 sessions at once, and prints\n"
      "RATE server_rss_mib_pipelined <growth of the server's peak RSS in MiB>\n"
      "RATE explicit_tx_success_pct <committed transactions of those begun, percent>.\n",
      run);
}
