#include "sqld.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <vector>

namespace tessel::dblib_test {
namespace {

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// A running tessel-sqld, ended with SIGTERM when the test process exits.
class Process {
 public:
  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool Start(const std::string& password, Server& server, std::string& why) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return (why = "pipe: " + std::string(std::strerror(errno))), false;
    std::vector<std::string> args = {TESSEL_SQLD_PATH, "--port", "0",
                                     "--password",     password, "--memory"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // The server must not outlive a test process that dies early (a sanitizer abort
      // runs no destructors).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(1);
      dup2(pipe_fds[1], STDOUT_FILENO);
      close(pipe_fds[0]);
      close(pipe_fds[1]);
      execv(TESSEL_SQLD_PATH, argv.data());
      _exit(127);
    }
    close(pipe_fds[1]);
    out_ = pipe_fds[0];
    if (pid_ < 0) {
      pid_ = -1;
      return (why = "fork: " + std::string(std::strerror(errno))), false;
    }
    std::string line = FirstLine();
    static const std::regex listening(R"(^tessel-sqld listening on (127\.0\.0\.1):(\d+)$)");
    std::smatch m;
    if (!std::regex_match(line, m, listening)) {
      return (why = "tessel-sqld's first line was '" + line + "'"), false;
    }
    server.host = m[1];
    server.port = m[2];
    return true;
  }

 private:
  std::string FirstLine() {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      if (read(out_, &c, 1) != 1) break;
      if (c == '\n') break;
      line += c;
    }
    return line;
  }

  pid_t pid_ = -1;
  int out_ = -1;
};

struct Shared {
  bool tried = false;
  std::string why;
  std::unique_ptr<Server> server;
  std::unique_ptr<Process> process;
};

}  // namespace

const Server* TestServer(std::string& why) {
  static Shared shared;
  if (!shared.tried) {
    shared.tried = true;
    // Keep the network-library setting of these tests out of /etc.
    setenv("TESSEL_DBLIB_CONF", "/tmp/tessel-dblib-tests.conf", 0);
    auto server = std::make_unique<Server>();
    const char* named = Env("TESSEL_TEST_SERVER");
    if (named != nullptr) {
      std::string address = named;
      auto colon = address.rfind(':');
      server->host = address.substr(0, colon);
      server->port = colon == std::string::npos ? "1433" : address.substr(colon + 1);
      server->user = Env("TESSEL_TEST_USER") ? Env("TESSEL_TEST_USER") : "sa";
      server->password = Env("TESSEL_TEST_PASSWORD") ? Env("TESSEL_TEST_PASSWORD") : "";
      shared.server = std::move(server);
    } else {
      server->user = "sa";
      server->password = "Dblib-" + std::to_string(getpid()) + "-pw";
      shared.process = std::make_unique<Process>();
      if (shared.process->Start(server->password, *server, shared.why)) {
        shared.server = std::move(server);
      }
    }
  }
  why = shared.why;
  return shared.server.get();
}

}  // namespace tessel::dblib_test
