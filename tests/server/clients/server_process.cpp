#include "server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <stdexcept>

namespace tessel::sqld::test {

namespace {

std::vector<char*> cArgs(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int waitExit(int pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutSeconds) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  int pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    auto args = cArgs(argv);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  ProcessResult r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      ::kill(pid, SIGKILL);
      r.output += "\n[timed out]";
      break;
    }
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    r.output.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  r.exitCode = waitExit(pid);
  return r;
}

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    std::vector<std::string> argv = {program, "--port", "0"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto a = cArgs(argv);
    ::execv(a[0], a.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (::poll(&p, 1, 20000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  std::smatch m;
  static const std::regex kLine("^tessel-sqld listening on 127\\.0\\.0\\.1:([0-9]+)$");
  if (!std::regex_match(line, m, kLine)) {
    stop();
    throw std::runtime_error("server did not report its port; first line: '" + line + "'");
  }
  port_ = std::stoi(m[1]);
}

ServerProcess::~ServerProcess() {
  stop();
}

int ServerProcess::stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int code = waitExit(pid_);
  pid_ = -1;
  return code;
}

}  // namespace tessel::sqld::test
