#pragma once

// The server that integration tests run against. By default a tessel-sqld is
// started for the test process on a free loopback port with a fresh password
// and stopped when the process ends; when TESSEL_TEST_SERVER,
// TESSEL_TEST_USER, TESSEL_TEST_PASSWORD and TESSEL_TEST_DATABASE are all
// set, that server is used instead and nothing is started. The client library
// is the one named by TESSEL_DBLIB, else the libntwdblib.so of this build.
// Main thread only.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runtime/SQLServer.h"

namespace tessel::testing {

struct ServerAddress {
  std::string Server;  // "host:port" as passed to dbopen
  std::string User;
  std::string Password;
  std::string Database;
};

// The process's test server, started on first use. Returns nullptr and sets
// `why` when none is available (tessel-sqld or the client library not
// built, or the server did not start).
const ServerAddress* TestServer(std::string& why);

// A TSQLServer with the test server's login properties, not yet open.
std::unique_ptr<TSQLServer> NewSQLServer(const ServerAddress& address);

// Base of integration tests: skips when no server is available, and gives
// each test an unopened `server` pointed at it.
class IntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs one statement on `connection` and reads its first column of every
  // row as text, or raises ElqSQLError.
  static std::vector<std::string> Rows(PDBPROCESS connection, const std::string& sql);
  // Runs `sql` on the base connection; skips the test when the server does
  // not support the statement yet (syntax error), so that a test needing
  // tables or KILL is reported as skipped rather than failed.
  void RequireStatement(const std::string& sql);
  // Opens the server and a connection the way queries get one; skips the
  // test when the embedded tessel-sqld rejects the statements that prepare a
  // connection (a syntax error), so that a server still growing reports these
  // tests as skipped, with the reason, rather than failed.
  void RequireConnections();

  const ServerAddress* address = nullptr;
  std::unique_ptr<TSQLServer> server;
};

}  // namespace tessel::testing
