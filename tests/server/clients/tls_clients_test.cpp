// Encrypted connections: FreeTDS (tsql and pymssql, set up through
// freetds.conf) and python-tds against tessel-sqld under each --encrypt mode,
// with a certificate from files or one the server makes at start, and clients
// that must refuse it (an untrusted certificate, a wrong host name) or be
// refused (a client that cannot encrypt when encryption is required).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "server_process.h"

namespace tessel::sqld::test {
namespace {

namespace fs = std::filesystem;

const std::string kServer = TDS_STUB_SERVER;
const std::string kScripts = CLIENT_SCRIPTS_DIR;
const std::string kPython = "/usr/bin/python3";
const std::string kPassword = "Str0ng-pw";
const std::string kRows = "1\tAnn\tZürich";  // tsql's first row of the stub's people table

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TlsClients : public ::testing::Test {
 protected:
  // Two self-signed certificates for localhost and 127.0.0.1: the server's,
  // and another that clients may wrongly be told to trust.
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("tds-tls-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    for (const char* name : {"server", "other"}) {
      auto r =
          runProgram({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                      "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                      "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout",
                      file(std::string(name) + ".key"), "-out", file(std::string(name) + ".pem")});
      ASSERT_EQ(r.exitCode, 0) << r.output;
    }
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  void TearDown() override { ::unsetenv("FREETDSCONF"); }

  static std::string file(const std::string& name) { return (dir_ / name).string(); }

  // A server with the certificate from files (or a self-signed one made at
  // start) under `mode`.
  static std::unique_ptr<ServerProcess> server(const std::string& mode, bool certFiles = true) {
    std::vector<std::string> args{"--password", kPassword, "--encrypt", mode};
    if (certFiles) {
      args.insert(args.end(), {"--tls-cert", file("server.pem"), "--tls-key", file("server.key")});
    }
    return std::make_unique<ServerProcess>(kServer, args);
  }

  // FreeTDS reads these lines for every server through FREETDSCONF.
  static void freetds(const std::string& settings) {
    std::ofstream(file("freetds.conf")) << "[global]\n\ttds version = 7.4\n" << settings;
    ::setenv("FREETDSCONF", file("freetds.conf").c_str(), 1);
  }

  static ProcessResult tsql(const ServerProcess& s) {
    return runProgram(
        {"tsql", "-H", "127.0.0.1", "-p", std::to_string(s.port()), "-U", "sa", "-P", kPassword},
        "select * from people\ngo\nexit\n");
  }
  static ProcessResult pymssql(const ServerProcess& s) {
    return runProgram({kPython, "-c",
                       "import sys, pymssql\n"
                       "c = pymssql.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa',"
                       " password=sys.argv[2], login_timeout=10)\n"
                       "cur = c.cursor(); cur.execute('select * from people')\n"
                       "print('OK', cur.fetchall())\n",
                       std::to_string(s.port()), kPassword});
  }
  static ProcessResult pytds(const ServerProcess& s, const std::string& mode,
                             const std::string& ca = {}, const std::string& host = {}) {
    std::vector<std::string> argv{kPython, kScripts + "/tls_client.py", std::to_string(s.port()),
                                  kPassword, mode};
    if (!ca.empty()) argv.push_back(file(ca));
    if (!host.empty()) argv.push_back(host);
    return runProgram(argv);
  }

  static fs::path dir_;
};

fs::path TlsClients::dir_;

TEST_F(TlsClients, EncryptedLoginsAndQueriesUnderEachMode) {
  for (const char* mode : {"off", "on", "required"}) {
    SCOPED_TRACE(mode);
    auto s = server(mode);
    freetds("\tencryption = require\n\tca file = " + file("server.pem") + "\n");
    auto t = tsql(*s);
    EXPECT_TRUE(contains(t.output, kRows)) << t.output;
    auto m = pymssql(*s);
    EXPECT_TRUE(contains(m.output, "OK [(1, 'Ann', 'Zürich')")) << m.output;
    // FreeTDS's default asks for the login alone to be encrypted.
    freetds("\tencryption = request\n");
    t = tsql(*s);
    EXPECT_TRUE(contains(t.output, kRows)) << t.output;
    for (const char* pyMode : {"all", "login"}) {
      auto p = pytds(*s, pyMode, "server.pem");
      EXPECT_TRUE(contains(p.output, "OK [(1, 'Ann', 'Zürich')")) << pyMode << ": " << p.output;
    }
    auto strict = pytds(*s, "strict", "server.pem", "localhost");
    EXPECT_TRUE(contains(strict.output, "OK [(1, 'Ann', 'Zürich')")) << strict.output;
    EXPECT_EQ(s->stop(), 0);
  }
}

TEST_F(TlsClients, SelfSignedCertificateMadeAtStart) {
  auto s = server("off", false);
  freetds("\tencryption = require\n");
  auto t = tsql(*s);
  EXPECT_TRUE(contains(t.output, kRows)) << t.output;
  // Not the certificate in the files: a client trusting those refuses it.
  auto p = pytds(*s, "all", "server.pem");
  EXPECT_TRUE(contains(p.output, "ERR") && contains(p.output, "certificate verify failed"))
      << p.output;
  EXPECT_EQ(s->stop(), 0);
}

TEST_F(TlsClients, ClientsThatDoNotEncryptAreRefusedWhenRequired) {
  struct Case {
    const char* mode;
    bool tsqlServed;   // FreeTDS set to "off" still encrypts when the server requires it
    bool pytdsServed;  // python-tds without a CA file cannot encrypt
  };
  for (const Case& c : {Case{"off", true, true}, Case{"on", true, true},
                        Case{"required", true, false}, Case{"strict", false, false}}) {
    SCOPED_TRACE(c.mode);
    auto s = server(c.mode);
    freetds("\tencryption = off\n");
    auto t = tsql(*s);
    EXPECT_EQ(contains(t.output, kRows), c.tsqlServed) << t.output;
    auto p = pytds(*s, "plain");
    EXPECT_EQ(contains(p.output, "OK"), c.pytdsServed) << p.output;
    if (std::string(c.mode) == "required") {
      EXPECT_TRUE(contains(p.output, "required by server")) << p.output;
    }
    EXPECT_EQ(s->stop(), 0);
  }
  // Under strict even an encrypting TDS 7.x client is turned away.
  auto s = server("strict");
  freetds("\tencryption = require\n");
  EXPECT_FALSE(contains(tsql(*s).output, kRows));
  EXPECT_TRUE(contains(pytds(*s, "strict", "server.pem").output, "OK"));
  EXPECT_EQ(s->stop(), 0);
}

TEST_F(TlsClients, ClientsRefuseAnUntrustedCertificateOrAWrongHostName) {
  auto s = server("on");
  freetds("\tencryption = require\n\tca file = " + file("other.pem") + "\n");
  auto t = tsql(*s);
  EXPECT_FALSE(contains(t.output, kRows)) << t.output;
  struct Case {
    const char* mode;
    const char* ca;
    const char* host;
    const char* reason;
  };
  for (const Case& c : {Case{"all", "other.pem", "", "certificate verify failed"},
                        Case{"strict", "other.pem", "", "CERTIFICATE_VERIFY_FAILED"},
                        Case{"strict", "server.pem", "wrong.example", "Hostname mismatch"}}) {
    auto p = pytds(*s, c.mode, c.ca, c.host);
    EXPECT_TRUE(contains(p.output, "ERR") && contains(p.output, c.reason))
        << c.mode << " " << c.ca << ": " << p.output;
  }
  // The server is unharmed by handshakes that failed.
  EXPECT_TRUE(contains(pytds(*s, "all", "server.pem").output, "OK"));
  EXPECT_EQ(s->stop(), 0);
}

}  // namespace
}  // namespace tessel::sqld::test
