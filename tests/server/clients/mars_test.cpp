// tessel-sqld with python-tds's multiple active result sets: sessions
// interleaved on one connection, and a killed connection reset at once.

#include <gtest/gtest.h>

#include "server_process.h"

namespace tessel::sqld::test {
namespace {

TEST(Mars, InterleavedSessionsShareOneConnectionAndKillResetsIt) {
  ServerProcess server(TESSEL_SQLD, {"--password", "Sa-pw1", "--memory"});
  auto r = runProgram({"/usr/bin/python3", std::string(CLIENT_SCRIPTS_DIR) + "/mars_client.py",
                       std::to_string(server.port()), "Sa-pw1"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("\nOK"), std::string::npos) << r.output;
  EXPECT_EQ(server.stop(), 0);
}

}  // namespace
}  // namespace tessel::sqld::test
