#include "sqld_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <regex>
#include <vector>

extern char** environ;

namespace tessel::testing {

std::string RandomPassword(std::string_view prefix) {
  std::random_device rd;
  std::string password(prefix);
  for (int i = 0; i < 16; ++i) password += "0123456789abcdef"[rd() % 16];
  return password;
}

bool SqldProcess::Start(const std::string& program, const std::string& password, std::string& why,
                        const std::vector<std::string>& storage) {
  int out[2];
  if (pipe(out) != 0) return (why = "pipe failed"), false;
  std::vector<std::string> args = {program, "--port", "0", "--password", password, "--quiet"};
  args.insert(args.end(), storage.begin(), storage.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes away with the test process even when that one is
    // killed; only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(out[1], STDOUT_FILENO);
    const int nullFd = open("/dev/null", O_WRONLY);
    if (nullFd >= 0) dup2(nullFd, STDERR_FILENO);
    close(out[0]);
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  const int forkErrno = errno;
  close(out[1]);
  if (pid_ < 0) {
    close(out[0]);
    return (why = program + ": fork failed: " + std::strerror(forkErrno)), false;
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
  port_ = std::stoi(m[1]);
  return true;
}

std::string SqldProcess::FirstLine() {
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

void SqldProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (stdout_fd_ >= 0) close(stdout_fd_);
  stdout_fd_ = -1;
}

}  // namespace tessel::testing
