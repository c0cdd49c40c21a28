// A server's encryption setting in the network-library settings file: the level, the CA
// file and the host name its certificate must carry, against a tessel-sqld with a
// certificate from files. A failed check is an error naming the server and the reason.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "server_test.h"
#include "sqld_process.h"

namespace tessel::dblib_test {
namespace {

namespace fs = std::filesystem;

class DblibTls : public ServerTest {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("dblib-tls-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    for (std::string name : {"server", "other"}) {
      std::string command =
          "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
          "-nodes -days 2 -subj /CN=localhost -addext "
          "subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
          File(name + ".key") + " -out " + File(name + ".pem") + " >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
    password_ = testing::RandomPassword("Tls-");
    std::string why;
    ASSERT_TRUE(process_.Start(TESSEL_SQLD_PATH, password_, why,
                               {"--memory", "--encrypt", "on", "--tls-cert", File("server.pem"),
                                "--tls-key", File("server.key")}))
        << why;
  }
  static void TearDownTestSuite() {
    process_.Stop();
    fs::remove_all(dir_);
  }
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    const char* conf = std::getenv("TESSEL_DBLIB_CONF");
    saved_conf_ = conf != nullptr ? conf : "";
    ::setenv("TESSEL_DBLIB_CONF", File("dblib.conf").c_str(), 1);
    ASSERT_EQ(dbsetlname(login, password_.c_str(), DBSETPWD), SUCCEED);
  }
  void TearDown() override {
    if (!saved_conf_.empty()) ::setenv("TESSEL_DBLIB_CONF", saved_conf_.c_str(), 1);
    ServerTest::TearDown();
  }

  static std::string File(const std::string& name) { return (dir_ / name).string(); }
  static std::string TlsAddress() { return "127.0.0.1:" + std::to_string(process_.Port()); }
  // The settings file with a section for the TLS server.
  static void Setting(const std::string& lines) {
    std::ofstream(File("dblib.conf"))
        << "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]\nDSQUERY=DBMSSOCN\n"
        << "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\Encryption\\" << TlsAddress() << "]\n"
        << lines;
  }

  static fs::path dir_;
  static std::string password_;
  static testing::SqldProcess process_;
  std::string saved_conf_;
};

fs::path DblibTls::dir_;
std::string DblibTls::password_;
testing::SqldProcess DblibTls::process_;

TEST_F(DblibTls, EncryptionSettingPerServer) {
  struct Case {
    std::string lines;
    const char* reason;  // nullptr: the login succeeds
  };
  const Case cases[] = {
      {"Encrypt=require\nCAFile=" + File("server.pem") + "\n", nullptr},
      {"Encrypt=require\nCAFile=" + File("server.pem") + "\nHostName=localhost\n", nullptr},
      {"Encrypt=request\n", nullptr},
      {"Encrypt=require\nCAFile=" + File("other.pem") + "\n", "NOT trusted"},
      {"Encrypt=require\nCAFile=" + File("missing.pem") + "\n", "no CA certificate"},
      {"Encrypt=require\nCAFile=" + File("server.pem") + "\nHostName=wrong.example\n",
       "not for the host name 'wrong.example'"},
      {"Encrypt=strict\n", "strict encryption (TDS 8.0) is not available"},
      {"Encrypt=maybe\n", "Encrypt=maybe is not one of"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    Setting(c.lines);
    errors.clear();
    PDBPROCESS dbproc = Open(TlsAddress());
    if (c.reason == nullptr) {
      ASSERT_NE(dbproc, nullptr) << (errors.empty() ? "" : errors.back().text);
      EXPECT_EQ(Column(dbproc, "select 7"), std::vector<std::string>{"7"});
      continue;
    }
    EXPECT_EQ(dbproc, nullptr);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front().number, SQLECONN);
    const std::string& text = errors.front().text;
    EXPECT_NE(text.find("Encryption with server '" + TlsAddress() + "' failed: "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tessel::dblib_test
