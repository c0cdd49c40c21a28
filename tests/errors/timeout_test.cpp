// Time-outs against a server that stops answering: a tessel-sqld of the test's own,
// stopped with SIGSTOP, so that the network stays up while nothing answers. Every wait
// must end within its time-out and a short grace, say which time-out passed, and leave
// a connection that the next statement replaces.

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "framework/thread.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLdb.h"
#include "sqld_process.h"

namespace tessel::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimeOut = 2;
// The library's grace for an unanswered cancel (2 s), FreeTDS's one-second polling, and
// a loaded machine's slack.
constexpr auto kGrace = std::chrono::milliseconds(4000);
// AsyncClose gives a worker stuck in the library's wait 2 s, then closes its
// connection and joins it; how long the worker then takes to see that varies
// with the build (several seconds under ThreadSanitizer on a busy machine).
// The bound tells a close that gives up from one that waits for the stopped
// server's statement (30 s) or for ever.
constexpr auto kCloseBound = std::chrono::seconds(20);

// The tessel-sqld children of this process.
std::set<pid_t> SqldChildren() {
  std::set<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...
    const auto close = line.rfind(')');
    if (close == std::string::npos || line.find("(tessel-sqld)") == std::string::npos) continue;
    if (std::atol(line.c_str() + close + 4) == getpid()) found.insert(pid);
  }
  closedir(proc);
  return found;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

class TimeOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("TESSEL_DBLIB") == nullptr) setenv("TESSEL_DBLIB", TESSEL_NTWDBLIB_PATH, 1);
    if (std::getenv("TESSEL_DBLIB_CONF") == nullptr) {
      setenv("TESSEL_DBLIB_CONF", "/tmp/tessel-integration-dblib.conf", 1);
    }
    if (access(TESSEL_SQLD_PATH, X_OK) != 0) GTEST_SKIP() << "tessel-sqld is not built";
    const std::set<pid_t> before = SqldChildren();
    password_ = RandomPassword("timeout-");
    std::string why;
    ASSERT_TRUE(sqld_.Start(TESSEL_SQLD_PATH, password_, why)) << why;
    for (pid_t pid : SqldChildren()) {
      if (before.count(pid) == 0) pid_ = pid;
    }
    ASSERT_GT(pid_, 0) << "the server's process was not found";
    try {
      InitializeDBLIB();
    } catch (const ElqDBLIBError& e) {
      FAIL() << e.Message() << ": " << LastDBLIBLoadError();
    }
  }

  void TearDown() override {
    Continue();
    server_.reset();
  }

  std::unique_ptr<TSQLServer> NewServer() {
    auto server = std::make_unique<TSQLServer>(nullptr);
    server->SetServerName("127.0.0.1:" + std::to_string(sqld_.Port()));
    server->SetUsername("sa");
    server->SetPassword(password_);
    server->SetDataBaseName("master");
    server->SetServerTimeout(kTimeOut);
    return server;
  }

  // Returns once the server is stopped: kill returns before the signal took effect.
  void StopServer() {
    ASSERT_EQ(kill(pid_, SIGSTOP), 0);
    stopped_ = true;
    for (int i = 0; i < 200 && State() != 'T'; ++i) usleep(5000);
    ASSERT_EQ(State(), 'T');
  }
  char State() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
  }
  void Continue() {
    if (stopped_) kill(pid_, SIGCONT);
    stopped_ = false;
  }

  // Runs `step`, which must raise ElqSQLError; returns its message and the seconds taken.
  template <typename Step>
  std::string ErrorOf(Step step, double& seconds) {
    const auto start = Clock::now();
    std::string message = "(no error raised)";
    try {
      step();
    } catch (const ElqSQLError& e) {
      message = e.ErrorMessage();
    }
    seconds = Seconds(Clock::now() - start);
    return message;
  }

  SqldProcess sqld_;
  std::string password_;
  pid_t pid_ = -1;
  bool stopped_ = false;
  std::unique_ptr<TSQLServer> server_;
};

TEST_F(TimeOutTest, AStatementTimesOutClosesItsConnectionAndTheNextOneReconnects) {
  server_ = NewServer();
  server_->Open();
  server_->InternalExecute("SELECT 1");
  PDBPROCESS first = server_->GetBaseProcess();
  StopServer();
  double seconds = 0;
  const std::string message = ErrorOf([&] { server_->InternalExecute("SELECT 2"); }, seconds);
  EXPECT_GE(seconds, kTimeOut - 0.5);
  EXPECT_LT(seconds, Seconds(std::chrono::seconds(kTimeOut) + kGrace));
  EXPECT_NE(message.find("query time-out of 2 seconds"), std::string::npos) << message;
  EXPECT_NE(message.find("connection was closed"), std::string::npos) << message;
  EXPECT_TRUE(dbdead(first));
  Continue();
  EXPECT_NO_THROW(server_->InternalExecute("SELECT 3"));
  EXPECT_FALSE(dbdead(server_->GetBaseProcess()));
}

TEST_F(TimeOutTest, ALoginTimesOutAndTheNextLoginSucceeds) {
  server_ = NewServer();
  StopServer();
  double seconds = 0;
  const std::string message = ErrorOf([&] { server_->Open(); }, seconds);
  EXPECT_GE(seconds, kTimeOut - 0.5);
  EXPECT_LT(seconds, Seconds(std::chrono::seconds(kTimeOut) + kGrace));
  EXPECT_NE(message.find("login time-out of 2 seconds"), std::string::npos) << message;
  EXPECT_FALSE(server_->Connected());
  Continue();
  EXPECT_NO_THROW(server_->Open());
  EXPECT_NO_THROW(server_->InternalExecute("SELECT 1"));
}

// AsyncClose while the worker waits for a statement of a server that then stops: the
// main thread waits for the worker's cancel, which the library gives up on after its grace.
TEST_F(TimeOutTest, AsyncCloseDoesNotWaitForAStoppedServer) {
  server_ = NewServer();
  server_->SetServerTimeout(60);  // only the cancel's grace may end the wait
  server_->Open();
  TTessel query(nullptr);
  query.SetSQLServer(server_.get());
  query.SQL()->SetText("WAITFOR DELAY '00:00:30'\nSELECT 1");
  query.AsyncOpen();
  // The worker logs in and sends the batch, then waits for its answer.
  const auto pumped = Clock::now() + std::chrono::milliseconds(1500);
  while (Clock::now() < pumped) CheckSynchronize(5);
  StopServer();
  const auto start = Clock::now();
  query.AsyncClose();
  EXPECT_LT(Seconds(Clock::now() - start), Seconds(kCloseBound));
  EXPECT_FALSE(query.Active());
  EXPECT_EQ(query.DBProcess(), nullptr);
  Continue();
  EXPECT_NO_THROW(server_->InternalExecute("SELECT 1"));
}

// AsyncClose while the worker reads the rows of a long result from a server that then
// stops: the worker is not at a cancel point but inside the library's wait for the next
// row, and without a query time-out would keep the main thread for ever. Past its grace
// the main thread gives that wait up, which closes the worker's connection.
TEST_F(TimeOutTest, AsyncCloseGivesUpAWorkerWaitingForRows) {
  server_ = NewServer();
  server_->SetServerTimeout(0);  // no time-out at all
  server_->Open();
  server_->InternalExecute("CREATE TABLE digits (n int)");
  server_->InternalExecute("INSERT INTO digits VALUES (0),(1),(2),(3),(4),(5),(6),(7),(8),(9)");
  TTessel query(nullptr);
  query.SetSQLServer(server_.get());
  query.SetAsyncFetchAll(true);
  // A million rows: far more than the worker reads before the server stops.
  query.SQL()->SetText(
      "SELECT a.n, b.n AS n2, c.n AS n3, d.n AS n4, e.n AS n5, f.n AS n6, "
      "REPLICATE('x', 40) AS pad FROM digits a, digits b, digits c, digits d, digits e, digits f");
  int rows = 0;
  query.OnFetchProgress = [&rows](TObject*, int so_far) { rows = so_far; };
  query.AsyncOpen();
  // Stopped once rows flow: the worker drains what the network holds, then waits.
  const auto limit = Clock::now() + std::chrono::seconds(60);
  while (rows == 0 && Clock::now() < limit) CheckSynchronize(5);
  ASSERT_GT(rows, 0) << "no rows arrived";
  StopServer();
  // Until the count stands still for a second: what the network held is read.
  for (int seen = -1; seen != rows && Clock::now() < limit;) {
    seen = rows;
    const auto pumped = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < pumped) CheckSynchronize(5);
  }
  const auto start = Clock::now();
  query.AsyncClose();
  EXPECT_LT(Seconds(Clock::now() - start), Seconds(kCloseBound));
  EXPECT_FALSE(query.Active());
  Continue();
  EXPECT_NO_THROW(server_->InternalExecute("SELECT 1"));
}

}  // namespace
}  // namespace tessel::testing
