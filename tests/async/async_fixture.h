#pragma once

// The base of the asynchronous-work tests: queries on the test server, a
// record of how each operation ended as the application saw it, and a count
// of the server's sessions to prove that nothing is left behind.

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "query_fixture.h"

namespace tessel::testing {

// What the handlers of one query saw.
struct AsyncEvents {
  int Ready = 0;
  std::vector<std::string> Messages;
  std::vector<int> Progress;
  bool ActiveDuringReady = false;
  bool ControlsDisabledDuringReady = false;
  bool OffMainThread = false;  // some handler ran outside the main thread
  TlqAsyncOutcome OutcomeSeen = aoNone;

  int Ends() const { return Ready + static_cast<int>(Messages.size()); }
};

class AsyncTest : public QueryTest {
 protected:
  void SetUp() override;

  // A query whose handlers record into `events`.
  TTessel* NewAsyncQuery(const std::string& sql, AsyncEvents& events);
  // Like MakeNumbers, many rows to a batch.
  void MakeManyNumbers(const std::string& name, int count);
  // Delivers synchronized calls until done() holds; false after timeout_ms.
  static bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 20000);
  // Delivers synchronized calls for about ms milliseconds.
  static void PumpFor(int ms);
  // Sessions the test server holds (its side of every open connection), or
  // -1 when they cannot be counted (a server not on this machine).
  int ServerSessions() const;
  // Waits (pumping) until the server holds at most `count` sessions.
  bool SessionsSettleAt(int count) const;

  int baseline_sessions = -1;
};

}  // namespace tessel::testing
