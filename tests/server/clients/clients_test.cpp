// Independent SQL Server clients (tsql, python-tds, pymssql) against the
// program logic of tessel-sqld serving the stub engine, started as a child
// process like users start it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "server_process.h"

namespace tessel::sqld::test {
namespace {

const std::string kServer = TDS_STUB_SERVER;
const std::string kScripts = CLIENT_SCRIPTS_DIR;
const std::string kPython = "/usr/bin/python3";
const std::string kPassword = "Str0ng-pw";

class Clients : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ =
        std::make_unique<ServerProcess>(kServer, std::vector<std::string>{"--password", kPassword});
  }
  void TearDown() override { EXPECT_EQ(server_->stop(), 0) << "no clean stop on SIGTERM"; }

  ProcessResult tsql(const std::string& password, const std::string& input) {
    return runProgram({"tsql", "-H", "127.0.0.1", "-p", std::to_string(server_->port()), "-U", "sa",
                       "-P", password},
                      input);
  }

  std::unique_ptr<ServerProcess> server_;
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Clients, TsqlLogsInAndQueries) {
  auto r = tsql(kPassword, "select 1 as one, 'x' as letter\ngo\nselect * from people\ngo\nexit\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "one\tletter\n1\tx")) << r.output;
  EXPECT_TRUE(contains(r.output, "1\tAnn\tZürich")) << r.output;
  EXPECT_TRUE(contains(r.output, "(2 rows affected)")) << r.output;
}

TEST_F(Clients, TsqlSeesLoginFailedForAWrongPassword) {
  auto r = tsql("wrong", "select 1\ngo\nexit\n");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(contains(r.output, "Msg 18456 (severity 14, state 1)")) << r.output;
  EXPECT_TRUE(contains(r.output, "Login failed for user 'sa'.")) << r.output;
}

TEST_F(Clients, PythonTds) {
  auto r = runProgram(
      {kPython, kScripts + "/pytds_client.py", std::to_string(server_->port()), kPassword});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "\nOK")) << r.output;
}

TEST_F(Clients, Pymssql) {
  auto r = runProgram(
      {kPython, kScripts + "/pymssql_client.py", std::to_string(server_->port()), kPassword});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "\nOK")) << r.output;
}

TEST(ServerProgram, RefusesToStartWithoutAPasswordAndExplainsItsOptions) {
  ::unsetenv("TESSEL_SQLD_PASSWORD");
  auto none = runProgram({kServer, "--port", "0"});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_TRUE(contains(none.output, "no password for the login 'sa'")) << none.output;
  auto help = runProgram({kServer, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(contains(help.output, "--idle-timeout")) << help.output;
  auto bad = runProgram({kServer, "--port", "70000", "--password", "x"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(contains(bad.output, "'70000'")) << bad.output;
}

TEST(ServerProgram, ConfigFileLoginsWork) {
  auto dir = std::filesystem::temp_directory_path() / ("tds-config-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "sqld.conf") << "# logins\nlogin = sa:fromfile\nlogin = anna:s3cret\nquiet\n";
  // Passwords in it: the server reads it only when no one else may.
  std::filesystem::permissions(
      dir / "sqld.conf", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  {
    ServerProcess server(kServer, {"--config", (dir / "sqld.conf").string()});
    auto r = runProgram({"tsql", "-H", "127.0.0.1", "-p", std::to_string(server.port()), "-U",
                         "anna", "-P", "s3cret"},
                        "select 7\ngo\nexit\n");
    EXPECT_TRUE(contains(r.output, "\n7\n")) << r.output;
    EXPECT_EQ(server.stop(), 0);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessel::sqld::test
