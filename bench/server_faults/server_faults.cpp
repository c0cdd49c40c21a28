// One client sends 16 requests of 60 MiB to tessel-sqld without waiting for
// the answers, as a client that writes faster than the server works. The
// requests are bulk-load data without INSERT BULK, which the server refuses
// unread, so what it holds is what the listener buffers. Prints
//   RATE server_rss_mib_pipelined <peak RSS of the server minus its RSS before, MiB>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench_main.h"
#include "server_process.h"
#include "tds_test_client.h"

namespace {

using namespace tessel::sqld::test;

constexpr int kRequests = 16;
constexpr std::size_t kRequestBytes = std::size_t{60} << 20;

long statusKiB(int pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  throw std::runtime_error("no " + key + " for process " + std::to_string(pid));
}

int run() {
  ServerProcess server(TESSEL_SQLD_PATH, {"--password", "bench-faults", "--quiet", "--memory"});
  TestClient client;
  client.connect(static_cast<std::uint16_t>(server.port()));
  LoginSpec spec;
  spec.password = "bench-faults";
  spec.packetSize = 32767;
  client.login(spec);
  const long before = statusKiB(server.pid(), "VmRSS");
  const std::string request(kRequestBytes, 'x');
  std::thread sender([&] {
    for (int i = 0; i < kRequests; ++i) client.send(0x07, request, client.packetSize());
  });
  int answered = 0;
  while (answered < kRequests && client.receive(std::chrono::seconds(120))) ++answered;
  sender.join();
  if (answered != kRequests) throw std::runtime_error("not every request was answered");
  const long peak = statusKiB(server.pid(), "VmHWM");
  std::printf("RATE server_rss_mib_pipelined %ld\n", (peak - before) / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(
      argc, argv, "bench_server_faults",
      "Usage: bench_server_faults\n"
      "Pipelines 16 requests of 60 MiB to tessel-sqld and prints\n"
      "RATE server_rss_mib_pipelined <growth of the server's peak RSS in MiB>.\n",
      run);
}
