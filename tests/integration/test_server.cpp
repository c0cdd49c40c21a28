// Starting and stopping tessel-sqld for the integration tests.

#include "test_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/sysutils.h"
#include "runtime/lqSQLdb.h"
#include "sqld_process.h"

namespace tessel::testing {
namespace {

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? v : nullptr;
}

struct State {
  bool tried = false;
  std::string why;
  std::unique_ptr<ServerAddress> address;
  std::unique_ptr<SqldProcess> process;
};

State& Shared() {
  static State state;
  return state;
}

void ChooseClientLibrary() {
  if (Env("TESSEL_DBLIB") == nullptr) {
#ifdef TESSEL_NTWDBLIB_PATH
    setenv("TESSEL_DBLIB", TESSEL_NTWDBLIB_PATH, 1);
#endif
  }
}

bool ClientLibraryPresent(std::string& why) {
  const char* lib = Env("TESSEL_DBLIB");
  if (lib == nullptr) return (why = "libntwdblib.so is not built (no ntwdblib target)"), false;
  struct stat st {};
  if (std::strchr(lib, '/') != nullptr && stat(lib, &st) != 0) {
    return (why = std::string("client library missing: ") + lib), false;
  }
  return true;
}

void StartServer(State& s) {
  ChooseClientLibrary();
  // The network library setting of these tests never reaches /etc.
  if (Env("TESSEL_DBLIB_CONF") == nullptr) {
    setenv("TESSEL_DBLIB_CONF", "/tmp/tessel-integration-dblib.conf", 1);
  }
  if (!ClientLibraryPresent(s.why)) return;
  if (Env("TESSEL_TEST_SERVER") && Env("TESSEL_TEST_USER") && Env("TESSEL_TEST_PASSWORD") &&
      Env("TESSEL_TEST_DATABASE")) {
    s.address = std::make_unique<ServerAddress>(
        ServerAddress{Env("TESSEL_TEST_SERVER"), Env("TESSEL_TEST_USER"),
                      Env("TESSEL_TEST_PASSWORD"), Env("TESSEL_TEST_DATABASE")});
    return;
  }
#ifdef TESSEL_SQLD_PATH
  const std::string program = TESSEL_SQLD_PATH;
#else
  const std::string program;
#endif
  if (program.empty() || access(program.c_str(), X_OK) != 0) {
    s.why = "tessel-sqld is not built" + (program.empty() ? "" : " (" + program + ")");
    return;
  }
  const std::string password = RandomPassword("test-");
  s.process = std::make_unique<SqldProcess>();
  if (!s.process->Start(program, password, s.why)) {
    s.process.reset();
    return;
  }
  s.address = std::make_unique<ServerAddress>(
      ServerAddress{"127.0.0.1:" + std::to_string(s.process->Port()), "sa", password, "master"});
}

}  // namespace

const ServerAddress* TestServer(std::string& why) {
  State& s = Shared();
  if (!s.tried) {
    s.tried = true;
    StartServer(s);
  }
  why = s.why;
  return s.address.get();
}

std::unique_ptr<TSQLServer> NewSQLServer(const ServerAddress& address) {
  auto server = std::make_unique<TSQLServer>(nullptr);
  server->SetServerName(address.Server);
  server->SetUsername(address.User);
  server->SetPassword(address.Password);
  server->SetDataBaseName(address.Database);
  server->SetApplicationName("tessel-tests");
  return server;
}

void IntegrationTest::SetUp() {
  std::string why;
  address = TestServer(why);
  if (address == nullptr) GTEST_SKIP() << why;
  try {
    InitializeDBLIB();
  } catch (const ElqDBLIBError& e) {
    FAIL() << e.Message() << ": " << LastDBLIBLoadError();
  }
  server = NewSQLServer(*address);
}

void IntegrationTest::TearDown() {
  server.reset();
}

std::vector<std::string> IntegrationTest::Rows(PDBPROCESS connection, const std::string& sql) {
  std::vector<std::string> rows;
  dbcmd(connection, sql.c_str());
  CheckDBResult(dbsqlexec(connection));
  int result;
  while ((result = dbresults(connection)) != 2 /* NO_MORE_RESULTS */) {
    CheckDBResult(result);
    while (dbnextrow(connection) == REG_ROW) {
      const int length = dbdatlen(connection, 1);
      const DBBYTE* data = dbdata(connection, 1);
      char text[64] = {};
      if (data != nullptr) {
        // SQLCHAR 47: the value as text, whatever its server type.
        dbconvert(connection, dbcoltype(connection, 1), data, length, 47,
                  reinterpret_cast<DBBYTE*>(text), sizeof text - 1);
      }
      rows.emplace_back(data != nullptr ? Trim(text) : "NULL");
    }
  }
  return rows;
}

void IntegrationTest::RequireConnections() {
  server->Open();
  try {
    PDBPROCESS probe = server->GetConnection(nullptr, false);
    server->DropConnection(nullptr, probe);
  } catch (const ElqSQLError& e) {
    const bool syntax = e.ErrorCode() == 102 || e.ErrorCode() == 156 || e.ErrorCode() == 207;
    if (syntax && Shared().process != nullptr) {
      GTEST_SKIP() << "tessel-sqld cannot prepare a connection yet (SET TEXTSIZE): "
                   << e.ErrorMessage();
    }
    throw;
  }
}

void IntegrationTest::RequireStatement(const std::string& sql) {
  try {
    server->InternalExecute(sql);
  } catch (const ElqSQLError& e) {
    if (e.ErrorCode() == 102 || e.ErrorCode() == 156 || e.ErrorCode() == 207) {
      GTEST_SKIP() << "the server does not support this yet: " << sql << ": " << e.ErrorMessage();
    }
    throw;
  }
}

}  // namespace tessel::testing
