// What a failed login reports: each cause its own DB-Library number and text,
// and no operating-system text when the operating system reported nothing.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "test_server.h"

namespace tessel::testing {
namespace {

class LoginErrorsTest : public IntegrationTest {
 protected:
  // The error Open raises; fails the test when Open succeeds.
  ElqSQLError OpenError() {
    server->SetServerTimeout(5);
    try {
      server->Open();
    } catch (const ElqSQLError& e) {
      EXPECT_FALSE(server->Connected());
      return e;
    }
    ADD_FAILURE() << "Open succeeded";
    return ElqSQLError(0, "");
  }
};

// A loopback port that accepts one connection and closes it at once, before
// any login answer.
class ClosingListener {
 public:
  ClosingListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([fd = fd_] {
      const int client = accept(fd, nullptr, nullptr);
      if (client >= 0) close(client);
    });
  }
  ~ClosingListener() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A loopback port that nothing listens on: bound once, then given up.
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

TEST_F(LoginErrorsTest, RefusedLoginsAreLoginFailures) {
  server->SetPassword(address->Password + "-wrong");
  const ElqSQLError wrong_password = OpenError();
  EXPECT_EQ(wrong_password.ErrorCode(), -1);
  EXPECT_EQ(wrong_password.ErrorMessage(), "Login incorrect. ");

  server->SetUsername("no_such_login_here");
  const ElqSQLError unknown_login = OpenError();
  EXPECT_EQ(unknown_login.ErrorCode(), -1);
  EXPECT_EQ(unknown_login.ErrorMessage(), "Login incorrect. ");
}

TEST_F(LoginErrorsTest, NothingListeningIsUnableToConnectWithTheSystemsReason) {
  server->SetServerName("127.0.0.1:" + std::to_string(UnusedPort()));
  const ElqSQLError e = OpenError();
  EXPECT_EQ(e.ErrorCode(), -1);
  EXPECT_TRUE(StartsWith(e.ErrorMessage(),
                         "Unable to connect: SQL Server is unavailable or does not exist. "))
      << e.ErrorMessage();
  EXPECT_NE(e.ErrorMessage().find("refused"), std::string::npos) << e.ErrorMessage();
}

TEST_F(LoginErrorsTest, UnknownHostNamesTheHost) {
  server->SetServerName("no-such-host.invalid:1433");
  const ElqSQLError e = OpenError();
  EXPECT_EQ(e.ErrorCode(), -1);
  EXPECT_TRUE(StartsWith(e.ErrorMessage(),
                         "Unable to connect: SQL Server is unavailable or does not exist. "))
      << e.ErrorMessage();
  EXPECT_NE(e.ErrorMessage().find("host"), std::string::npos) << e.ErrorMessage();
}

TEST_F(LoginErrorsTest, ServerClosingDuringLoginIsAConnectionFailureNotALoginOne) {
  ClosingListener listener;
  ASSERT_NE(listener.Port(), 0);
  server->SetServerName("127.0.0.1:" + std::to_string(listener.Port()));
  const ElqSQLError e = OpenError();
  EXPECT_EQ(e.ErrorCode(), -1);
  EXPECT_EQ(e.ErrorMessage(),
            "Unable to connect: SQL Server is unavailable or does not exist. "
            "The login exchange with the server did not complete.");
}

}  // namespace
}  // namespace tessel::testing
