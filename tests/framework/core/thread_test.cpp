#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

// Runs a function as its Execute; joins in its own destructor, before the function goes.
class FnThread : public TThread {
 public:
  explicit FnThread(std::function<void(FnThread&)> body) : body_(std::move(body)) {}
  ~FnThread() override {
    Terminate();
    WaitFor();
  }
  using TThread::SetReturnValue;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(FnThread&)> body_;
};

TEST(Thread, SynchronizeRunsInTheMainThreadWhileItWaits) {
  int counter = 0;  // touched only in the main thread
  std::atomic<int> off_main{0};
  FnThread worker([&](FnThread& self) {
    for (int i = 0; i < 200; ++i) {
      self.Synchronize([&] {
        if (!IsMainThread()) ++off_main;
        ++counter;
      });
    }
    self.SetReturnValue(7);
  });
  worker.Start();
  EXPECT_EQ(worker.WaitFor(), 7);
  EXPECT_EQ(counter, 200);
  EXPECT_EQ(off_main.load(), 0);
  EXPECT_TRUE(worker.Finished());
  EXPECT_THROW(worker.Start(), EThread);
}

// The asynchronous-open pattern: a flag cleared by a synchronized call, and a
// main thread that polls it with short sleeps.
TEST(Thread, PollingMainThreadKeepsDelivering) {
  bool active = true;  // main thread only
  std::atomic<bool> cancel{false};
  std::string message;
  FnThread worker([&](FnThread& self) {
    while (!cancel.load()) Sleep(1);
    self.Synchronize([&] {
      message = "ready";
      active = false;
    });
  });
  worker.Start();
  cancel.store(true);
  const std::uint32_t start = GetTickCount();
  while (active && GetTickCount() - start < 10000) SynchronizeSleep(20);
  EXPECT_FALSE(active);
  EXPECT_EQ(message, "ready");
}

class SelfFreeing : public TThread {
 public:
  explicit SelfFreeing(std::atomic<bool>& destroyed) : destroyed_(destroyed) {
    SetFreeOnTerminate(true);
  }
  ~SelfFreeing() override { destroyed_.store(true); }

 protected:
  void Execute() override {
    Synchronize([] {});
  }

 private:
  std::atomic<bool>& destroyed_;
};

TEST(Thread, FreeOnTerminateDeletesItselfAfterOnTerminate) {
  std::atomic<bool> destroyed{false};
  bool terminated_in_main = false;
  auto* thread = new SelfFreeing(destroyed);  // frees itself
  thread->OnTerminate = [&](TObject*) { terminated_in_main = IsMainThread(); };
  thread->Start();
  const std::uint32_t start = GetTickCount();
  while (!destroyed.load() && GetTickCount() - start < 10000) SynchronizeSleep(5);
  EXPECT_TRUE(destroyed.load());
  EXPECT_TRUE(terminated_in_main);
}

TEST(Thread, TerminateStopsAPollingExecuteAndDestructorWaits) {
  std::atomic<int> loops{0};
  auto worker = std::make_unique<FnThread>([&](FnThread& self) {
    while (!self.Terminated()) {
      ++loops;
      Sleep(1);
    }
  });
  worker->Start();
  while (loops.load() == 0) Sleep(1);
  worker.reset();  // Terminate and WaitFor
  const int after = loops.load();
  Sleep(5);
  EXPECT_EQ(loops.load(), after);
}

TEST(Thread, ExceptionsCrossBackToTheirThread) {
  std::string caught;
  FnThread worker([&](FnThread& self) {
    try {
      self.Synchronize([] { throw EDatabaseError("from main"); });
    } catch (const EDatabaseError& e) {
      caught = e.Message();
    }
    throw std::runtime_error("escaped Execute");
  });
  worker.Start();
  worker.WaitFor();
  EXPECT_EQ(caught, "from main");
  ASSERT_TRUE(worker.FatalException());
  EXPECT_THROW(std::rethrow_exception(worker.FatalException()), std::runtime_error);
}

TEST(Thread, CheckSynchronizeBelongsToTheMainThread) {
  std::atomic<bool> raised{false};
  FnThread worker([&](FnThread&) {
    try {
      CheckSynchronize(0);
    } catch (const EThread&) {
      raised.store(true);
    }
  });
  worker.Start();
  worker.WaitFor();
  EXPECT_TRUE(raised.load());
  // In the main thread Synchronize runs the call at once.
  int ran = 0;
  TThread::Synchronize(nullptr, [&] { ++ran; });
  EXPECT_EQ(ran, 1);
  // Nothing queued: returns false after the timeout.
  EXPECT_FALSE(CheckSynchronize(1));
}

TEST(Thread, QueuedCallsWakeTheEventLoopAndRunLater) {
  std::atomic<int> wakes{0};
  SetWakeMainThread([&] { ++wakes; });
  int ran = 0;
  FnThread worker([&](FnThread&) { TThread::Queue([&] { ++ran; }); });
  worker.Start();
  while (!worker.Finished()) Sleep(1);
  EXPECT_GE(wakes.load(), 1);
  EXPECT_EQ(ran, 0);  // not before the main thread delivers
  EXPECT_TRUE(CheckSynchronize(0));
  EXPECT_EQ(ran, 1);
  worker.WaitFor();
  SetWakeMainThread(nullptr);
  TThread::Queue([] { throw EAbort(); });
  EXPECT_THROW(CheckSynchronize(0), EAbort);
}

}  // namespace
}  // namespace tessel
