// The client network library setting file.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ftds_conf.h"
#include "netlib_conf.h"

namespace tessel::dblib {
namespace {

const char kSection[] = "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]";

TEST(DbNetLib, ReadsDsqueryFromTheConnectToSection) {
  EXPECT_EQ(NetLibraryFromText(std::string(kSection) + "\nDSQUERY=DBNMPNTW\n"), "DBNMPNTW");
  EXPECT_EQ(NetLibraryFromText(std::string(kSection) + "\r\n  dsquery = dbmsspxn \r\n"),
            "DBMSSPXN");
}

TEST(DbNetLib, AnythingElseMeansTcpIp) {
  EXPECT_EQ(NetLibraryFromText(""), "DBMSSOCN");
  EXPECT_EQ(NetLibraryFromText("DSQUERY=DBNMPNTW\n"), "DBMSSOCN");  // outside the section
  EXPECT_EQ(NetLibraryFromText(std::string(kSection) + "\nDSQUERY=DBBOGUS\n"), "DBMSSOCN");
  EXPECT_EQ(NetLibraryFromText(std::string(kSection) + "\n[other]\nDSQUERY=DBMSRPCN\n"),
            "DBMSSOCN");
}

TEST(DbNetLib, TheEnvironmentVariableNamesTheFile) {
  char path[] = "/tmp/tessel-dblib-conf-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    out << kSection << "\nDSQUERY=DBMSRPCN\n";
  }
  setenv("TESSEL_DBLIB_CONF", path, 1);
  EXPECT_EQ(NetLibConfPath(), path);
  EXPECT_EQ(ConfiguredNetLibrary(), "DBMSRPCN");
  unlink(path);
  EXPECT_EQ(ConfiguredNetLibrary(), "DBMSSOCN");  // a missing file
  unsetenv("TESSEL_DBLIB_CONF");
  EXPECT_EQ(NetLibConfPath(), "/etc/tessel/dblib.conf");
}

TEST(DbNetLib, EncryptionSettingOfAServer) {
  const std::string text =
      "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\Encryption\\db.example.com,1433]\n"
      "Encrypt = REQUIRE\nCAFile=/etc/ssl/ca.pem\nHostName=db.example.com\n"
      "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\Encryption\\other]\nEncrypt=off\n";
  auto s = EncryptionSettingFromText(text, "DB.EXAMPLE.COM,1433");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->mode, "require");
  EXPECT_EQ(s->caFile, "/etc/ssl/ca.pem");
  EXPECT_EQ(s->hostName, "db.example.com");
  EXPECT_EQ(EncryptionSettingFromText(text, "other")->mode, "off");
  EXPECT_FALSE(EncryptionSettingFromText(text, "db.example.com"));
}

TEST(DbNetLib, FreeTdsSectionForAnEncryptedServer) {
  const std::string conf =
      "[global]\n\tclient charset = UTF-8\n[prod]\n\thost = 10.0.0.5\n"
      "\tport = 1533\n";
  struct Case {
    std::string server;
    ServerAddress address;
  };
  const Case cases[] = {{"prod", {"10.0.0.5", "1533", ""}},
                        {"db.example.com:1444", {"db.example.com", "1444", ""}},
                        {"host\\SQLEXPRESS", {"host", "", "SQLEXPRESS"}},
                        {"plain", {"plain", "", ""}}};
  for (const Case& c : cases) {
    ServerAddress a = ResolveServerName(conf, c.server);
    EXPECT_EQ(a.host, c.address.host) << c.server;
    EXPECT_EQ(a.port, c.address.port) << c.server;
    EXPECT_EQ(a.instance, c.address.instance) << c.server;
  }
  std::string text = ConfWithEncryption(conf, "prod", {"require", "/ca.pem", "db.example.com"});
  EXPECT_EQ(text.rfind(conf, 0), 0u);  // the user's settings stay, [global] among them
  EXPECT_NE(text.find("[tessel_encrypted_server]\n\thost = db.example.com\n\tport = 1533\n"
                      "\tencryption = require\n\tca file = /ca.pem\n"
                      "\tcheck certificate hostname = yes\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace tessel::dblib
