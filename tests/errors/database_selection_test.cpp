// A database the server cannot select fails the open instead of sending every
// statement to the login's default database.

#include <filesystem>
#include <string>

#include "test_server.h"

namespace tessel::testing {
namespace {

class DatabaseSelectionTest : public IntegrationTest {};

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST_F(DatabaseSelectionTest, UnknownDatabaseFailsOpenWithTheServersMessage) {
  server->SetDataBaseName("no_such_database_here");
  try {
    server->Open();
    FAIL() << "opened on a database the server does not know";
  } catch (const ElqSQLError& e) {
    EXPECT_EQ(e.ErrorCode(), 911) << e.ErrorMessage();
    EXPECT_NE(e.ErrorMessage().find("no_such_database_here"), std::string::npos)
        << e.ErrorMessage();
  }
  EXPECT_FALSE(server->Connected());
  // Corrected, the same component opens.
  server->SetDataBaseName(address->Database);
  server->Open();
  EXPECT_TRUE(server->Connected());
}

TEST_F(DatabaseSelectionTest, EmptyNameKeepsTheLoginsDefault) {
  server->SetDataBaseName("");
  server->Open();
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT 7"), (std::vector<std::string>{"7"}));
}

TEST_F(DatabaseSelectionTest, LaterConnectionThatCannotSelectItIsClosedAndReported) {
  server->Open();
  const std::size_t before = OpenDescriptors();
  server->SetDataBaseName("no_such_database_here");
  try {
    server->GetConnection(nullptr, false);
    FAIL() << "a connection was handed out in the wrong database";
  } catch (const ElqSQLError& e) {
    EXPECT_EQ(e.ErrorCode(), 911) << e.ErrorMessage();
  }
  EXPECT_EQ(OpenDescriptors(), before) << "the refused connection was left open";
  EXPECT_THROW(server->GetBaseProcess(), ElqSQLError);
}

}  // namespace
}  // namespace tessel::testing
