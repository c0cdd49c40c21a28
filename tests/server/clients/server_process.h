#pragma once

// Starts a server program as a child process on a free port, reads its
// first line for the port, and stops it with SIGTERM.

#include <string>
#include <vector>

namespace tessel::sqld::test {

struct ProcessResult {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs a program to its end with a time limit, collecting its output.
ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input = {},
                         int timeoutSeconds = 60);

class ServerProcess {
 public:
  // Starts `program --port 0 args...`; throws when it does not report a port.
  ServerProcess(const std::string& program, const std::vector<std::string>& args);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  int pid() const { return pid_; }
  // Sends SIGTERM and returns the exit status (0 after a clean stop).
  int stop();

 private:
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace tessel::sqld::test
