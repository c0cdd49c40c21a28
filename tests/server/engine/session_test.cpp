// Sessions against one engine: transactions seen from a second session, lock
// time-out, cancel during WAITFOR, and streaming of a large result.

#include <gtest/gtest.h>

#include <thread>

#include "recording_sink.h"
#include "sqld/engine.h"

namespace tessel::sqld::testing {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  std::unique_ptr<Session> open() {
    LoginInfo login;
    login.user = "sa";
    Message error;
    auto s = engine_->openSession(login, error);
    EXPECT_TRUE(s) << error.text;
    return s;
  }

  RecordingSink run(Session& s, std::string_view sql) {
    RecordingSink sink;
    CancelFlag cancel;
    s.executeBatch(sql, sink, cancel);
    return sink;
  }

  std::unique_ptr<Engine> engine_ = createSqliteEngine(EngineOptions{});
};

TEST_F(SessionTest, OpensInDefaultDatabase) {
  auto s = open();
  EXPECT_EQ(s->currentDatabase(), "tessel");
}

}  // namespace
}  // namespace tessel::sqld::testing
