#pragma once

// A listener with the stub engine on a free loopback port, started and
// stopped per test.

#include <gtest/gtest.h>

#include <memory>

#include "sqld/tds/listener.h"
#include "stub_engine.h"

namespace tessel::sqld::test {

class ListenerFixture : public ::testing::Test {
 protected:
  void startListener(tds::SessionSettings settings = {}, std::size_t maxSessions = 256) {
    engine_ = createStubEngine(EngineOptions{});
    credentials_.add("sa", "pw");
    credentials_.add("anna", "secret");
    tds::ListenerOptions options;
    options.session = settings;
    options.maxSessions = maxSessions;
    options.session.serverName = "TESSEL";
    listener_ = std::make_unique<tds::Listener>(*engine_, credentials_, options, log_);
    port_ = listener_->start();
  }
  void SetUp() override { startListener(); }
  void TearDown() override {
    if (listener_) listener_->stop();
  }
  void restart(tds::SessionSettings settings, std::size_t maxSessions = 256) {
    listener_->stop();
    listener_.reset();
    startListener(settings, maxSessions);
  }

  std::unique_ptr<Engine> engine_;
  tds::Credentials credentials_;
  tds::Log log_{true};
  std::unique_ptr<tds::Listener> listener_;
  std::uint16_t port_ = 0;
};

}  // namespace tessel::sqld::test
