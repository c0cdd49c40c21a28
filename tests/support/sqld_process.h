#pragma once

// A tessel-sqld child process for tests and benchmarks: the given sa
// password, an ephemeral loopback port read from its first line of output,
// in-memory databases unless told otherwise. The child dies with its parent,
// even one killed by a time-out.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace tessel::testing {

class SqldProcess {
 public:
  SqldProcess() = default;
  SqldProcess(const SqldProcess&) = delete;
  SqldProcess& operator=(const SqldProcess&) = delete;
  ~SqldProcess() { Stop(); }

  // Starts `program --port 0 --password <password> --quiet <storage...>`;
  // on failure returns false and says why.
  bool Start(const std::string& program, const std::string& password, std::string& why,
             const std::vector<std::string>& storage = {"--memory"});
  // SIGTERM to the child's pid, then waits for it.
  void Stop();

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }

 private:
  std::string FirstLine();

  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  int port_ = 0;
};

// A password that no other run guesses: the prefix and 16 random hex digits.
std::string RandomPassword(std::string_view prefix);

}  // namespace tessel::testing
