// tessel-sqld over a data folder, killed with SIGKILL at 30 random moments
// while one client commits transactions that insert the same id into a table
// of tessel and one of a second database; after each kill it is started
// again. Prints
//   RATE kill_cycles_lost_commits <acknowledged commits missing afterwards>
//   RATE kill_cycles_half_commits <transactions found in one database only>
// both counts, 0 when commits across databases are atomic and durable.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "bench_main.h"
#include "kill_loop.h"

namespace {

constexpr int kCycles = 30;

int run() {
  namespace fs = std::filesystem;
  const fs::path data =
      fs::temp_directory_path() / ("bench-server-durability-" + std::to_string(::getpid()));
  fs::remove_all(data);
  const unsigned seed = std::random_device{}();
  tessel::sqld::test::KillLoopResult r;
  try {
    r = tessel::sqld::test::runKillLoop(TESSEL_SQLD_PATH, data.string(), kCycles, seed);
  } catch (...) {
    fs::remove_all(data);
    throw;
  }
  fs::remove_all(data);
  std::fprintf(stderr, "%d kills, %d commits acknowledged, seed %u\n", r.cycles, r.acknowledged,
               seed);
  std::printf("RATE kill_cycles_lost_commits %d\n", r.lostCommits);
  std::printf("RATE kill_cycles_half_commits %d\n", r.halfCommits);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(
      argc, argv, "bench_server_durability",
      "Usage: bench_server_durability\n"
      "Kills tessel-sqld 30 times at random moments while a client commits transactions\n"
      "that write two databases, restarting it each time, and prints\n"
      "RATE kill_cycles_lost_commits <acknowledged commits missing afterwards> and\n"
      "RATE kill_cycles_half_commits <transactions present in one database only>.\n",
      run);
}
