#include "kill_loop.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "server_process.h"
#include "tds_test_client.h"

namespace tessel::sqld::test {
namespace {

constexpr char kPassword[] = "kill-loop";

bool failed(const std::vector<Token>& tokens) {
  return std::any_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.type == 0xAA; });
}

void connect(TestClient& client, int port) {
  client.connect(static_cast<std::uint16_t>(port));
  LoginSpec spec;
  spec.password = kPassword;
  client.login(spec);
}

// The ids of a one-int-column result.
std::set<long> ids(const std::vector<Token>& tokens) {
  std::set<long> out;
  for (const Token& t : tokens) {
    if ((t.type != 0xD1 && t.type != 0xD2) || t.values.empty()) continue;
    const std::string& b = t.values[0].bytes;
    if (b.size() != 4) throw std::runtime_error("unexpected id column");
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
      v = v << 8 | static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
    out.insert(static_cast<std::int32_t>(v));
  }
  return out;
}

}  // namespace

KillLoopResult runKillLoop(const std::string& program, const std::string& dataDirectory, int cycles,
                           unsigned seed) {
  const std::vector<std::string> args = {"--password", kPassword, "--quiet", "--data",
                                         dataDirectory};
  std::mt19937 random(seed);
  KillLoopResult result;
  std::set<long> acknowledged;
  long next = 1;
  {
    ServerProcess server(program, args);
    TestClient client;
    connect(client, server.port());
    for (const char* sql :
         {"IF DB_ID('d2') IS NULL CREATE DATABASE d2",
          "IF OBJECT_ID('tessel..kill_a') IS NULL CREATE TABLE tessel..kill_a(id int PRIMARY KEY)",
          "IF OBJECT_ID('d2..kill_b') IS NULL CREATE TABLE d2..kill_b(id int PRIMARY KEY)"}) {
      if (failed(client.batch(sql))) throw std::runtime_error(std::string("failed: ") + sql);
    }
  }
  for (int cycle = 0; cycle < cycles; ++cycle) {
    std::optional<ServerProcess> server(std::in_place, program, args);
    std::atomic<bool> stop{false}, writing{false};
    std::thread writer([&] {
      try {
        TestClient client;
        connect(client, server->port());
        writing.store(true);
        while (!stop.load()) {
          const std::string n = std::to_string(next);
          auto tokens = client.batch("BEGIN TRAN; INSERT INTO tessel..kill_a VALUES (" + n +
                                     "); INSERT INTO d2..kill_b VALUES (" + n + "); COMMIT TRAN");
          if (!failed(tokens)) acknowledged.insert(next);
          ++next;
        }
      } catch (const std::exception&) {
        // The server was killed under the client.
      }
      ++next;  // the id in flight stays unused
      writing.store(true);
    });
    while (!writing.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 120)(random)));
    ::kill(server->pid(), SIGKILL);
    stop.store(true);
    writer.join();
    server.reset();
    ++result.cycles;
  }
  ServerProcess server(program, args);
  TestClient client;
  connect(client, server.port());
  const std::set<long> a = ids(client.batch("SELECT id FROM tessel..kill_a"));
  const std::set<long> b = ids(client.batch("SELECT id FROM d2..kill_b"));
  result.acknowledged = static_cast<int>(acknowledged.size());
  for (long id : acknowledged)
    if (!a.count(id) || !b.count(id)) ++result.lostCommits;
  for (long id : a)
    if (!b.count(id)) ++result.halfCommits;
  for (long id : b)
    if (!a.count(id)) ++result.halfCommits;
  return result;
}

}  // namespace tessel::sqld::test
