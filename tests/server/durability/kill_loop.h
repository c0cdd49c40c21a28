#pragma once

// Kills tessel-sqld at random moments while a client commits transactions
// that write two databases, restarts it and checks what survived: every
// acknowledged COMMIT in both databases, and no transaction in one database
// only. Shared by the durability test and bench_server_durability.

#include <string>

namespace tessel::sqld::test {

struct KillLoopResult {
  int cycles = 0;
  int acknowledged = 0;  // commits the client saw succeed
  int lostCommits = 0;   // acknowledged, yet missing from either database after a restart
  int halfCommits = 0;   // present in one database and not in the other
};

// Runs `cycles` kill-and-restart cycles of `program` over the data folder
// `dataDirectory` (made when missing); throws when the server does not start
// or answer.
KillLoopResult runKillLoop(const std::string& program, const std::string& dataDirectory, int cycles,
                           unsigned seed);

}  // namespace tessel::sqld::test
