// tessel-sqld with logins that are database users, against python-tds: sa
// may do everything, the others only what their databases allow.

#include <gtest/gtest.h>

#include "server_process.h"

namespace tessel::sqld::test {
namespace {

TEST(Access, DatabaseUsersGetSqlServersErrorsAndSaMayDoEverything) {
  ServerProcess server(TESSEL_SQLD, {"--password", "Sa-pw1", "--memory", "--login",
                                     "anna:Anna-pw1:d2", "--login", "bob:Bob-pw1"});
  auto r = runProgram({"/usr/bin/python3", std::string(CLIENT_SCRIPTS_DIR) + "/access_client.py",
                       std::to_string(server.port()), "Sa-pw1"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("\nOK"), std::string::npos) << r.output;
  EXPECT_EQ(server.stop(), 0);
}

}  // namespace
}  // namespace tessel::sqld::test
