#pragma once

// TThread: a worker thread running the virtual Execute, and the main-thread
// queue through which workers call into the main thread (Synchronize).
//
// The main thread is the thread that started the process. Synchronize from a
// worker queues the call and blocks until the main thread runs it inside
// CheckSynchronize; console programs and tests call CheckSynchronize in
// their loops, a GUI event loop calls it when the wake-up hook fires. A main
// thread that waits for a worker must keep delivering: WaitFor does so, and
// poll loops use SynchronizeSleep instead of Sleep. If the main thread never
// delivers, a synchronizing worker waits forever.
//
// Lifetime: construct, then Start() (a descendant that wants to run at once
// calls Start() as the last statement of its own constructor). With
// FreeOnTerminate the thread deletes itself after Execute and OnTerminate; no
// other thread may touch it after Start(). Otherwise its owner deletes it; a
// descendant whose Execute uses its own members calls Terminate() and
// WaitFor() at the top of its destructor, before those members go.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/object.h"

namespace tessel {

class TThread : public TObject {
 public:
  TThread();
  ~TThread() override;

  // Starts the thread; raises EThread when it was started before.
  void Start();
  void Resume() { Start(); }

  // Asks Execute to stop; Execute polls Terminated(). Any thread.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const;

  bool FreeOnTerminate() const { return free_on_terminate_.load(); }
  void SetFreeOnTerminate(bool value) { free_on_terminate_.store(value); }

  // Waits until Execute and OnTerminate are done and returns ReturnValue. In the
  // main thread it delivers synchronized calls meanwhile. Not for
  // FreeOnTerminate threads; raises EThread when called from the thread itself.
  int WaitFor();
  int ReturnValue() const { return return_value_.load(); }
  // What escaped Execute, or nullptr; valid once Finished().
  std::exception_ptr FatalException() const;
  std::thread::id ThreadID() const;

  // Runs in the main thread (through Synchronize) after Execute returns.
  TNotifyEvent OnTerminate;

  // Runs method in the main thread and waits for it; an exception it raises
  // is raised again in the calling thread. Called in the main thread, it runs
  // method at once. Any thread.
  static void Synchronize(TThread* thread, const std::function<void()>& method);
  // Queues method for the main thread without waiting. Any thread.
  static void Queue(const std::function<void()>& method);

 protected:
  virtual void Execute() = 0;
  void Synchronize(const std::function<void()>& method) { Synchronize(this, method); }
  void SetReturnValue(int value) { return_value_.store(value); }

 private:
  static void Run(TThread* self);

  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable finished_cv_;
  bool started_ = false;                // guarded by mutex_
  bool finished_ = false;               // guarded by mutex_
  std::exception_ptr fatal_exception_;  // guarded by mutex_
  std::atomic<bool> terminated_{false};
  std::atomic<bool> free_on_terminate_{false};
  std::atomic<int> return_value_{0};
};

// Runs the calls queued for the main thread, waiting up to timeout_ms for the
// first one. Returns true when it ran at least one. Main thread only (raises
// EThread elsewhere). An exception raised by a queued (not waited-for) call
// comes out of here.
bool CheckSynchronize(int timeout_ms = 0);
// Sleeps for milliseconds; in the main thread, delivers synchronized calls
// meanwhile and returns early after delivering one. For poll loops that wait for a worker.
void SynchronizeSleep(unsigned milliseconds);
bool IsMainThread();
// Called (from the queuing thread) whenever a call is queued for the main
// thread, so that an event loop can schedule CheckSynchronize.
void SetWakeMainThread(std::function<void()> hook);

}  // namespace tessel
