#include "sqld.h"

#include <cstdlib>
#include <memory>

#include "sqld_process.h"

namespace tessel::dblib_test {
namespace {

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

struct Shared {
  bool tried = false;
  std::string why;
  std::unique_ptr<Server> server;
  std::unique_ptr<testing::SqldProcess> process;
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
      server->password = testing::RandomPassword("Dblib-");
      shared.process = std::make_unique<testing::SqldProcess>();
      if (shared.process->Start(TESSEL_SQLD_PATH, server->password, shared.why)) {
        server->host = "127.0.0.1";
        server->port = std::to_string(shared.process->Port());
        shared.server = std::move(server);
      }
    }
  }
  why = shared.why;
  return shared.server.get();
}

}  // namespace tessel::dblib_test
