// Server names as Microsoft's clients write them.
#include <gtest/gtest.h>

#include "server_name.h"

namespace tessel::dblib {
namespace {

TEST(DbServerName, CommaPortBecomesColonPort) {
  EXPECT_EQ(FreeTdsServerName("127.0.0.1,1433"), "127.0.0.1:1433");
  EXPECT_EQ(FreeTdsServerName("db.example,51000"), "db.example:51000");
  EXPECT_EQ(FreeTdsServerName("tcp:127.0.0.1,1433"), "127.0.0.1:1433");
  EXPECT_EQ(FreeTdsServerName("TCP:host"), "host");
}

TEST(DbServerName, OtherFormsPassUnchanged) {
  EXPECT_EQ(FreeTdsServerName("127.0.0.1:1433"), "127.0.0.1:1433");
  EXPECT_EQ(FreeTdsServerName("host\\INSTANCE"), "host\\INSTANCE");
  EXPECT_EQ(FreeTdsServerName("myserver"), "myserver");
  EXPECT_EQ(FreeTdsServerName("odd,name"), "odd,name");  // not a port
  EXPECT_EQ(FreeTdsServerName("host,"), "host,");
}

TEST(DbServerName, LocalNames) {
  EXPECT_EQ(FreeTdsServerName(nullptr), "localhost");
  EXPECT_EQ(FreeTdsServerName(""), "localhost");
  EXPECT_EQ(FreeTdsServerName("."), "localhost");
  EXPECT_EQ(FreeTdsServerName("(local)"), "localhost");
}

}  // namespace
}  // namespace tessel::dblib
