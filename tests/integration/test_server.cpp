// Starting and stopping tessel-sqld for the integration tests.

#include "test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "framework/sysutils.h"
#include "runtime/lqSQLdb.h"

extern char** environ;

namespace tessel::testing {
namespace {

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? v : nullptr;
}

std::string RandomPassword() {
  std::random_device rd;
  std::string p = "test-";
  for (int i = 0; i < 12; ++i) p += "0123456789abcdef"[rd() % 16];
  return p;
}

// A tessel-sqld child process, stopped (SIGTERM, then waited for) when the
// object goes away at the end of the test process.
class SqldProcess {
 public:
  ~SqldProcess() { Stop(); }

  // Starts the program and reads its port from the first line of its output.
  bool Start(const std::string& program, const std::string& password, std::string& why) {
    int out[2];
    if (pipe(out) != 0) return (why = "pipe failed"), false;
    std::vector<std::string> args = {program,  "--port",   "0",      "--password",
                                     password, "--memory", "--quiet"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // The server must not outlive a test process that crashed or was
      // killed by a time-out: it would hold the port and the test's output
      // pipe. Only async-signal-safe calls until exec.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      dup2(out[1], STDOUT_FILENO);
      const int null_fd = open("/dev/null", O_WRONLY);
      if (null_fd >= 0) dup2(null_fd, STDERR_FILENO);
      close(out[0]);
      execve(program.c_str(), argv.data(), environ);
      _exit(127);
    }
    const int spawn_errno = errno;
    close(out[1]);
    if (pid_ < 0) {
      close(out[0]);
      pid_ = -1;
      return (why = program + ": fork failed: " + std::strerror(spawn_errno)), false;
    }
    stdout_fd_ = out[0];
    const std::string line = FirstLine();
    static const std::regex listening(R"(^tessel-sqld listening on 127\.0\.0\.1:(\d+)$)");
    std::smatch m;
    if (!std::regex_match(line, m, listening)) {
      why = "tessel-sqld did not report its port; first line: '" + line + "'";
      Stop();
      return false;
    }
    port_ = m[1];
    return true;
  }

  const std::string& Port() const { return port_; }

 private:
  // The first line of the child's output, waiting at most 20 seconds.
  std::string FirstLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdout_fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      if (read(stdout_fd_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    if (stdout_fd_ >= 0) close(stdout_fd_);
    stdout_fd_ = -1;
  }

  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string port_;
};

struct State {
  bool tried = false;
  std::string why;
  std::unique_ptr<ServerAddress> address;
  std::unique_ptr<SqldProcess> process;
};

State& Shared() {
  static State state;
  return state;
}

void ChooseClientLibrary() {
  if (Env("TESSEL_DBLIB") == nullptr) {
#ifdef TESSEL_NTWDBLIB_PATH
    setenv("TESSEL_DBLIB", TESSEL_NTWDBLIB_PATH, 1);
#endif
  }
}

bool ClientLibraryPresent(std::string& why) {
  const char* lib = Env("TESSEL_DBLIB");
  if (lib == nullptr) return (why = "libntwdblib.so is not built (no ntwdblib target)"), false;
  struct stat st {};
  if (std::strchr(lib, '/') != nullptr && stat(lib, &st) != 0) {
    return (why = std::string("client library missing: ") + lib), false;
  }
  return true;
}

void StartServer(State& s) {
  ChooseClientLibrary();
  // The network library setting of these tests never reaches /etc.
  if (Env("TESSEL_DBLIB_CONF") == nullptr) {
    setenv("TESSEL_DBLIB_CONF", "/tmp/tessel-integration-dblib.conf", 1);
  }
  if (!ClientLibraryPresent(s.why)) return;
  if (Env("TESSEL_TEST_SERVER") && Env("TESSEL_TEST_USER") && Env("TESSEL_TEST_PASSWORD") &&
      Env("TESSEL_TEST_DATABASE")) {
    s.address = std::make_unique<ServerAddress>(
        ServerAddress{Env("TESSEL_TEST_SERVER"), Env("TESSEL_TEST_USER"),
                      Env("TESSEL_TEST_PASSWORD"), Env("TESSEL_TEST_DATABASE")});
    return;
  }
#ifdef TESSEL_SQLD_PATH
  const std::string program = TESSEL_SQLD_PATH;
#else
  const std::string program;
#endif
  if (program.empty() || access(program.c_str(), X_OK) != 0) {
    s.why = "tessel-sqld is not built" + (program.empty() ? "" : " (" + program + ")");
    return;
  }
  const std::string password = RandomPassword();
  s.process = std::make_unique<SqldProcess>();
  if (!s.process->Start(program, password, s.why)) {
    s.process.reset();
    return;
  }
  s.address = std::make_unique<ServerAddress>(
      ServerAddress{"127.0.0.1:" + s.process->Port(), "sa", password, "master"});
}

}  // namespace

const ServerAddress* TestServer(std::string& why) {
  State& s = Shared();
  if (!s.tried) {
    s.tried = true;
    StartServer(s);
  }
  why = s.why;
  return s.address.get();
}

std::unique_ptr<TSQLServer> NewSQLServer(const ServerAddress& address) {
  auto server = std::make_unique<TSQLServer>(nullptr);
  server->SetServerName(address.Server);
  server->SetUsername(address.User);
  server->SetPassword(address.Password);
  server->SetDataBaseName(address.Database);
  server->SetApplicationName("tessel-tests");
  return server;
}

void IntegrationTest::SetUp() {
  std::string why;
  address = TestServer(why);
  if (address == nullptr) GTEST_SKIP() << why;
  try {
    InitializeDBLIB();
  } catch (const ElqDBLIBError& e) {
    FAIL() << e.Message() << ": " << LastDBLIBLoadError();
  }
  server = NewSQLServer(*address);
}

void IntegrationTest::TearDown() {
  server.reset();
}

std::vector<std::string> IntegrationTest::Rows(PDBPROCESS connection, const std::string& sql) {
  std::vector<std::string> rows;
  dbcmd(connection, sql.c_str());
  CheckDBResult(dbsqlexec(connection));
  int result;
  while ((result = dbresults(connection)) != 2 /* NO_MORE_RESULTS */) {
    CheckDBResult(result);
    while (dbnextrow(connection) == REG_ROW) {
      const int length = dbdatlen(connection, 1);
      const DBBYTE* data = dbdata(connection, 1);
      char text[64] = {};
      if (data != nullptr) {
        // SQLCHAR 47: the value as text, whatever its server type.
        dbconvert(connection, dbcoltype(connection, 1), data, length, 47,
                  reinterpret_cast<DBBYTE*>(text), sizeof text - 1);
      }
      rows.emplace_back(data != nullptr ? Trim(text) : "NULL");
    }
  }
  return rows;
}

void IntegrationTest::RequireConnections() {
  server->Open();
  try {
    PDBPROCESS probe = server->GetConnection(nullptr, false);
    server->DropConnection(nullptr, probe);
  } catch (const ElqSQLError& e) {
    const bool syntax = e.ErrorCode() == 102 || e.ErrorCode() == 156 || e.ErrorCode() == 207;
    if (syntax && Shared().process != nullptr) {
      GTEST_SKIP() << "tessel-sqld cannot prepare a connection yet (SET TEXTSIZE): "
                   << e.ErrorMessage();
    }
    throw;
  }
}

void IntegrationTest::RequireStatement(const std::string& sql) {
  try {
    server->InternalExecute(sql);
  } catch (const ElqSQLError& e) {
    if (e.ErrorCode() == 102 || e.ErrorCode() == 156 || e.ErrorCode() == 207) {
      GTEST_SKIP() << "the server does not support this yet: " << sql << ": " << e.ErrorMessage();
    }
    throw;
  }
}

}  // namespace tessel::testing
