// The main-thread queue and TThread. One mutex guards the queue; each
// request carries its own completion flag, which the worker waits for on a
// shared condition variable.

#include "framework/thread.h"

#include <chrono>
#include <deque>
#include <memory>
#include <sstream>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

const std::thread::id kMainThread = std::this_thread::get_id();

struct Request {
  std::function<void()> method;
  bool wait = false;
  bool done = false;         // guarded by Queue::mutex
  std::exception_ptr error;  // written by the main thread before done
};

struct SyncQueue {
  std::mutex mutex;
  std::condition_variable work_cv;                // the main thread waits here
  std::condition_variable done_cv;                // synchronizing workers wait here
  std::deque<std::shared_ptr<Request>> requests;  // guarded by mutex
  bool signaled = false;                          // guarded by mutex
  std::function<void()> wake;                     // guarded by mutex
};

SyncQueue& MainQueue() {
  static SyncQueue* queue = new SyncQueue;  // never destroyed: workers may outlive statics
  return *queue;
}

void Post(const std::shared_ptr<Request>& request) {
  SyncQueue& q = MainQueue();
  std::function<void()> wake;
  {
    std::lock_guard lock(q.mutex);
    if (request) q.requests.push_back(request);
    q.signaled = true;
    wake = q.wake;
  }
  q.work_cv.notify_all();
  if (wake) wake();
}

std::string ThreadIdText(std::thread::id id) {
  std::ostringstream out;
  out << id;
  return out.str();
}

}  // namespace

bool IsMainThread() {
  return std::this_thread::get_id() == kMainThread;
}

void SetWakeMainThread(std::function<void()> hook) {
  SyncQueue& q = MainQueue();
  std::lock_guard lock(q.mutex);
  q.wake = std::move(hook);
}

bool CheckSynchronize(int timeout_ms) {
  if (!IsMainThread()) {
    throw EThread("CheckSynchronize called from thread " +
                  ThreadIdText(std::this_thread::get_id()) + ", which is not the main thread");
  }
  SyncQueue& q = MainQueue();
  std::unique_lock lock(q.mutex);
  if (q.requests.empty() && !q.signaled && timeout_ms > 0) {
    q.work_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                       [&] { return !q.requests.empty() || q.signaled; });
  }
  q.signaled = false;
  bool ran = false;
  // One at a time, so that a call may itself deliver (or queue) further calls.
  while (!q.requests.empty()) {
    std::shared_ptr<Request> request = std::move(q.requests.front());
    q.requests.pop_front();
    lock.unlock();
    ran = true;
    std::exception_ptr error;
    try {
      request->method();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (request->wait) {
      request->error = error;
      request->done = true;
      q.done_cv.notify_all();
    } else if (error) {
      std::rethrow_exception(error);
    }
  }
  return ran;
}

void SynchronizeSleep(unsigned milliseconds) {
  if (IsMainThread()) {
    CheckSynchronize(static_cast<int>(milliseconds));
  } else {
    Sleep(milliseconds);
  }
}

void TThread::Synchronize(TThread*, const std::function<void()>& method) {
  if (IsMainThread()) {
    method();
    return;
  }
  auto request = std::make_shared<Request>();
  request->method = method;
  request->wait = true;
  Post(request);
  SyncQueue& q = MainQueue();
  std::unique_lock lock(q.mutex);
  q.done_cv.wait(lock, [&] { return request->done; });
  if (request->error) std::rethrow_exception(request->error);
}

void TThread::Queue(const std::function<void()>& method) {
  auto request = std::make_shared<Request>();
  request->method = method;
  Post(request);
}

TThread::TThread() = default;

TThread::~TThread() {
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return;
    if (std::this_thread::get_id() == thread_.get_id()) {
      thread_.detach();  // FreeOnTerminate: the thread is deleting itself on its way out
      return;
    }
  }
  Terminate();
  WaitFor();
  thread_.join();
}

void TThread::Start() {
  std::lock_guard lock(mutex_);
  if (started_) throw EThread("Thread already started");
  started_ = true;
  thread_ = std::thread(&TThread::Run, this);
}

void TThread::Run(TThread* self) {
  // Start() holds the mutex until thread_ is assigned; wait for that before anything
  // (the destructor of a self-freeing thread reads thread_).
  { std::lock_guard lock(self->mutex_); }
  std::exception_ptr fatal;
  try {
    if (!self->Terminated()) self->Execute();
  } catch (...) {
    fatal = std::current_exception();
  }
  try {
    if (self->OnTerminate) self->Synchronize([self] { self->OnTerminate(self); });
  } catch (...) {
    if (!fatal) fatal = std::current_exception();
  }
  const bool free = self->FreeOnTerminate();
  {
    std::lock_guard lock(self->mutex_);
    self->fatal_exception_ = fatal;
    self->finished_ = true;
  }
  self->finished_cv_.notify_all();
  Post(nullptr);  // wakes a main thread waiting in WaitFor
  if (free) delete self;
}

bool TThread::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(mutex_);
  return fatal_exception_;
}

std::thread::id TThread::ThreadID() const {
  std::lock_guard lock(mutex_);
  return thread_.get_id();
}

int TThread::WaitFor() {
  std::unique_lock lock(mutex_);
  if (!started_) return ReturnValue();
  if (thread_.get_id() == std::this_thread::get_id()) {
    throw EThread("A thread cannot wait for itself");
  }
  if (IsMainThread()) {
    while (!finished_) {
      lock.unlock();
      CheckSynchronize(50);
      lock.lock();
    }
  } else {
    finished_cv_.wait(lock, [&] { return finished_; });
  }
  return ReturnValue();
}

}  // namespace tessel
