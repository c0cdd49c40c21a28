// Times reading a 20 MB text value through a TTessel bmRead blob stream from
// tessel-sqld against the same READTEXT loop written directly with the
// wrappers (dbcmd, dbsqlexec, dbresults, dbreadtext into a buffer sized for
// the value) on the same row in the same run, best of several runs; and
// measures the process's peak resident memory while the stream reads,
// against the value's size. Prints:
//   RATIO blob_read_vs_raw_readtext <stream read time / raw loop time>
//   RATIO blob_peak_memory_vs_size <peak memory growth during the read / value size>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_main.h"
#include "bench_server.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSize = 20 * 1024 * 1024;
constexpr std::size_t kPiece = 1024 * 1024;
constexpr int kRuns = 5;
constexpr const char* kPassword = "bench-Blob-1";

const char kUsage[] =
    "usage: bench_blob [--help]\n"
    "Starts tessel-sqld on a free loopback port, stores a 20 MB text value and\n"
    "prints the RATIO lines of the blob stream benchmark.\n";

using tessel::testing::SecondsSince;

// The value is built on the server one megabyte at a time.
void FillTable(TSQLServer& server) {
  server.InternalExecute("CREATE TABLE bench_blob (id int NOT NULL PRIMARY KEY, body text NULL)");
  server.InternalExecute("INSERT INTO bench_blob VALUES (1, '')");
  std::string piece(kPiece, ' ');
  for (std::size_t i = 0; i < kPiece; ++i) piece[i] = static_cast<char>('a' + i % 26);
  for (std::size_t done = 0; done < kSize; done += kPiece) {
    server.InternalExecute(
        "DECLARE @p varbinary(16) SELECT @p = TEXTPTR(body) FROM bench_blob WHERE id = 1 "
        "UPDATETEXT bench_blob.body @p NULL 0 '" +
        piece + "'");
  }
}

// Resident memory figures of this process, in bytes: "VmRSS" or "VmHWM".
std::size_t Resident(const char* which) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(which, 0) == 0) return std::stoull(line.substr(line.find(':') + 1)) * 1024;
  }
  throw std::runtime_error(std::string("no ") + which + " in /proc/self/status");
}

// Starts a new peak: the high-water mark falls back to what is resident now.
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

// The baseline: READTEXT sent with the wrappers and its chunks appended to
// one buffer sized for the value.
double RawLoop(TSQLServer& server, const std::string& pointer, std::size_t& bytes) {
  PDBPROCESS connection = server.GetBaseProcess();
  const int chunk = server.PacketSize() - 100;
  const auto start = Clock::now();
  dbcmd(connection,
        ("READTEXT bench_blob.body " + pointer + " 0 " + std::to_string(kSize)).c_str());
  CheckDBResult(dbsqlexec(connection));
  CheckDBResult(dbresults(connection));
  std::vector<char> value(kSize);
  std::vector<char> buffer(static_cast<std::size_t>(chunk));
  bytes = 0;
  int got;
  while ((got = dbreadtext(connection, buffer.data(), chunk)) > 0) {
    std::memcpy(value.data() + bytes, buffer.data(), static_cast<std::size_t>(got));
    bytes += static_cast<std::size_t>(got);
  }
  while (got == 0) got = dbreadtext(connection, buffer.data(), chunk);
  const double elapsed = SecondsSince(start);
  dbcancel(connection);
  return elapsed;
}

std::string HexPointer(const BlobDescriptor& descriptor) {
  std::string text = "0x";
  char digits[3];
  for (std::uint8_t byte : descriptor.TextPtr) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

int Run() {
  // Large blocks come from mmap and go back to the system when freed, so the
  // resident size follows what is allocated.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  tessel::testing::BenchServer sqld(kPassword);
  TSQLServer& server = sqld.Server();
  FillTable(server);

  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SQL()->SetText("SELECT id, body FROM bench_blob");
  double raw_best = 1e9, stream_best = 1e9, peak_ratio = 0;
  for (int run = 0; run < kRuns; ++run) {
    query.Open();
    auto* body = static_cast<TBlobField*>(query.FieldByName("body"));
    BlobDescriptor descriptor{};
    body->GetData(&descriptor);
    if (static_cast<std::size_t>(descriptor.DataLength) != kSize) {
      throw std::runtime_error(Format("the value has %d bytes", {descriptor.DataLength}));
    }
    const std::size_t before = Resident("VmRSS");
    ResetPeak();
    auto start = Clock::now();
    std::unique_ptr<TStream> stream = query.CreateBlobStream(body, bmRead);
    stream_best = std::min(stream_best, SecondsSince(start));
    const std::size_t peak = Resident("VmHWM");
    if (static_cast<std::size_t>(stream->Size()) != kSize) {
      throw std::runtime_error(Format("the stream holds %d bytes", {stream->Size()}));
    }
    stream.reset();
    query.Close();
    // The first run also pages in code and library buffers; the best of the
    // later ones stands for the steady state.
    const double ratio = static_cast<double>(peak - std::min(peak, before)) / kSize;
    if (run == 1 || (run > 1 && ratio < peak_ratio)) peak_ratio = ratio;

    std::size_t bytes = 0;
    raw_best = std::min(raw_best, RawLoop(server, HexPointer(descriptor), bytes));
    if (bytes != kSize) throw std::runtime_error(Format("the raw loop read %d bytes", {bytes}));
  }
  std::printf("RATIO blob_read_vs_raw_readtext %.3f\n", stream_best / raw_best);
  std::printf("RATIO blob_peak_memory_vs_size %.3f\n", peak_ratio);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_blob", kUsage, [] { return Run(); });
}
