#pragma once

// What the benchmarks share around tessel-sqld: the server started on a free
// loopback port with a TSQLServer logged in to it, and the clock they time
// with. Header only, because the paths of the server and of the DB-Library
// come from each benchmark's own compile definitions. The connection is closed
// before the server process is stopped; one thread uses it.

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "runtime/SQLServer.h"
#include "sqld_process.h"

namespace tessel::testing {

inline double SecondsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class BenchServer {
 public:
  explicit BenchServer(const char* password) {
    if (std::getenv("TESSEL_DBLIB") == nullptr) setenv("TESSEL_DBLIB", TESSEL_NTWDBLIB_PATH, 1);
    std::string why;
    if (!sqld_.Start(TESSEL_SQLD_PATH, password, why)) throw std::runtime_error(why);
    server_ = std::make_unique<TSQLServer>(nullptr);
    server_->SetServerName("127.0.0.1:" + std::to_string(sqld_.Port()));
    server_->SetUsername("sa");
    server_->SetPassword(password);
    server_->Open();
  }

  TSQLServer& Server() { return *server_; }
  pid_t Pid() const { return sqld_.Pid(); }

 private:
  SqldProcess sqld_;
  std::unique_ptr<TSQLServer> server_;
};

}  // namespace tessel::testing
