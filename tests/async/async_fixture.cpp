#include "async_fixture.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "framework/sysutils.h"
#include "framework/thread.h"

namespace tessel::testing {
namespace {

// The port of "host:port" or "host,port"; 0 when none is given.
int PortOf(const std::string& server) {
  const auto sep = server.find_last_of(":,");
  if (sep == std::string::npos) return 0;
  try {
    return std::stoi(server.substr(sep + 1));
  } catch (...) {
    return 0;
  }
}

bool IsLoopback(const std::string& server) {
  return server.rfind("127.", 0) == 0 || server.rfind("localhost", 0) == 0 ||
         server.rfind("::1", 0) == 0 || server.rfind("[::1]", 0) == 0;
}

// Sockets bound to `port` on this machine that belong to a connection still
// open on the server's side (not listening, not in TIME_WAIT or CLOSE).
int CountServerSockets(const char* table, int port) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // header
  int count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    const auto colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    if (std::stoi(local.substr(colon + 1), nullptr, 16) != port) continue;
    const int st = std::stoi(state, nullptr, 16);
    // 0x06 TIME_WAIT, 0x07 CLOSE, 0x0A LISTEN
    if (st == 0x06 || st == 0x07 || st == 0x0A) continue;
    ++count;
  }
  return count;
}

}  // namespace

void AsyncTest::SetUp() {
  QueryTest::SetUp();
  if (IsSkipped()) return;
  // The base connection belongs to the baseline: tables are made through it.
  server->GetBaseProcess();
  // The fixture's probe connection, and those of earlier tests, may still be closing.
  PumpUntil([&] { return ServerSessions() <= 1; }, 3000);
  baseline_sessions = ServerSessions();
}

TTessel* AsyncTest::NewAsyncQuery(const std::string& sql, AsyncEvents& events) {
  TTessel* query = NewQuery(sql);
  query->OnThreadReady = [query, &events](TObject* sender) {
    EXPECT_EQ(sender, query);
    ++events.Ready;
    events.ActiveDuringReady = query->FThreadActive;
    events.ControlsDisabledDuringReady = query->ControlsDisabled();
    events.OutcomeSeen = query->AsyncOutcome();
    if (!IsMainThread()) events.OffMainThread = true;
  };
  query->OnThreadMsg = [query, &events](TObject* sender, const std::string& message) {
    EXPECT_EQ(sender, query);
    events.Messages.push_back(message);
    events.OutcomeSeen = query->AsyncOutcome();
    if (!IsMainThread()) events.OffMainThread = true;
  };
  query->OnFetchProgress = [&events](TObject*, int rows) {
    events.Progress.push_back(rows);
    if (!IsMainThread()) events.OffMainThread = true;
  };
  return query;
}

void AsyncTest::MakeManyNumbers(const std::string& name, int count) {
  MakeTable(name, "id int PRIMARY KEY, name varchar(30)", {});
  std::string batch;
  for (int i = 1; i <= count; ++i) {
    batch += Format("INSERT INTO %s VALUES (%d, 'name%d')\n", {name, i, i});
    if (i % 250 == 0 || i == count) {
      server->InternalExecute(batch);
      batch.clear();
    }
  }
}

bool AsyncTest::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    CheckSynchronize(5);
  }
  return true;
}

void AsyncTest::PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) CheckSynchronize(1);
}

int AsyncTest::ServerSessions() const {
  if (address == nullptr || !IsLoopback(address->Server)) return -1;
  const int port = PortOf(address->Server);
  if (port == 0) return -1;
  return CountServerSockets("/proc/net/tcp", port) + CountServerSockets("/proc/net/tcp6", port);
}

bool AsyncTest::SessionsSettleAt(int count) const {
  if (count < 0) return true;  // not countable here
  return PumpUntil([&] { return ServerSessions() <= count; }, 10000);
}

}  // namespace tessel::testing
