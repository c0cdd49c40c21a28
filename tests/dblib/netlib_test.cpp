// The client network library setting file.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <string>

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

}  // namespace
}  // namespace tessel::dblib
