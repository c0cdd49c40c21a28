#pragma once

// A tessel-sqld child process for the wire tests: in-memory databases, a
// random password, an ephemeral port read from its first line of output.

#include <sys/types.h>

#include <string>

namespace tessel::sqld::wire {

class SqldProcess {
 public:
  SqldProcess() = default;
  SqldProcess(const SqldProcess&) = delete;
  SqldProcess& operator=(const SqldProcess&) = delete;
  ~SqldProcess() { stop(); }

  // Starts the program; on failure returns false and says why.
  bool start(const std::string& program, std::string& why);
  // SIGTERM to the child's pid, then waits for it.
  void stop();

  int port() const { return port_; }
  const std::string& password() const { return password_; }

 private:
  std::string firstLine();

  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int port_ = 0;
  std::string password_;
};

}  // namespace tessel::sqld::wire
