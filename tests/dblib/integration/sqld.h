// The server the dblib end-to-end tests talk to: a tessel-sqld started once for the
// test process on a free loopback port (stopped when the process ends), or the server
// named by TESSEL_TEST_SERVER, TESSEL_TEST_USER and TESSEL_TEST_PASSWORD.
#ifndef TESSEL_TESTS_DBLIB_SQLD_H
#define TESSEL_TESTS_DBLIB_SQLD_H

#include <string>

namespace tessel::dblib_test {

struct Server {
  std::string host;  // 127.0.0.1 for tessel-sqld
  std::string port;
  std::string user;
  std::string password;
};

// The server, or nullptr with the reason in `why`.
const Server* TestServer(std::string& why);

}  // namespace tessel::dblib_test

#endif
