// Value fidelity against tessel-sqld. Prints:
//   FIDELITY roundtrip <passed>/<total>   values of the fidelity tests' table
//         that arrived exactly (or were refused before sending) through every
//         write path, written back unchanged and deleted by all columns
//   RATIO post_update_vs_raw_exec <2,000 edited rows of typed columns posted
//         through TTessel::Post (upWhereChanged) / the same UPDATE texts sent
//         with TSQLServer::InternalExecute>
// The failing cases go to standard error. Timings are the best of 3 runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_main.h"
#include "bench_server.h"
#include "framework/sysutils.h"
#include "roundtrip.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 2000;
constexpr int kRuns = 3;
constexpr const char* kPassword = "bench-Fidelity-1";

const char kUsage[] =
    "usage: bench_fidelity [--help]\n"
    "Starts tessel-sqld on a free loopback port, writes the fidelity tests' values\n"
    "through every write path and reads them back with the package and with\n"
    "python-tds (/usr/bin/python3 with pytds), then times posting edited rows.\n"
    "Prints FIDELITY roundtrip PASSED/TOTAL and RATIO post_update_vs_raw_exec X;\n"
    "the values that did not arrive exactly go to standard error.\n";

// The benchmark's server logs in without naming a database: tessel-sqld's
// default one, tessel, is where the tables are made.
void Roundtrip(TSQLServer& server) {
  const fidelity::ClientAddress client =
      fidelity::MakeClientAddress(server.ServerName(), "sa", kPassword, "tessel");
  int passed = 0, total = 0;
  for (const fidelity::FidelityColumn& column : fidelity::ValueTable()) {
    // A connection of its own per type, as each test has: a connection one
    // type's writes left unusable does not count against the next.
    TSQLServer own(nullptr);
    own.SetServerName(server.ServerName());
    own.SetUsername(server.Username());
    own.SetPassword(server.Password());
    own.Open();
    for (const fidelity::Arrival& arrival : fidelity::RoundTrip(own, client, column)) {
      ++total;
      if (arrival.exact) {
        ++passed;
      } else {
        std::fprintf(stderr, "%s | %s | %s: %s\n", column.type.c_str(), arrival.value.c_str(),
                     arrival.path.c_str(), arrival.detail.c_str());
      }
    }
  }
  std::printf("FIDELITY roundtrip %d/%d\n", passed, total);
}

void FillTable(TSQLServer& server) {
  server.InternalExecute(
      "CREATE TABLE fid_bench (id int NOT NULL PRIMARY KEY, qty int NOT NULL, "
      "name nvarchar(40) NULL, amount decimal(38,20) NULL, stamp datetime2(7) NULL, "
      "data varbinary(64) NULL)");
  for (int first = 1; first <= kRows; first += 500) {
    std::string sql = "INSERT INTO fid_bench VALUES ";
    for (int id = first; id < first + 500 && id <= kRows; ++id) {
      if (id != first) sql += ",";
      char row[160];
      std::snprintf(row, sizeof row,
                    "(%d, 0, N'\u0416 name %d', 12345.00000000000000000001, "
                    "'2024-01-02 03:04:05.1234567', 0x00FF%04X)",
                    id, id, id);
      sql += row;
    }
    server.InternalExecute(sql);
  }
}

double PostedEdits(TSQLServer& server, int round) {
  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText("SELECT id, qty, name, amount, stamp, data FROM fid_bench ORDER BY id");
  query.UpdateParams()->SetTableName("fid_bench");
  query.UpdateParams()->KeyFields()->Add("id");
  query.UpdateParams()->UpdateFields()->SetText("qty\nname\namount\nstamp\ndata");
  query.UpdateParams()->SetUpdateMode(upWhereChanged);
  query.Open();
  Clock::duration total{};
  for (query.First(); !query.Eof(); query.Next()) {
    const auto start = Clock::now();
    query.Edit();
    query.FieldByName("qty")->SetAsInteger(round);
    query.Post();
    total += Clock::now() - start;
  }
  return std::chrono::duration<double>(total).count();
}

// The statements the posts send, as text on the connection component.
double RawUpdates(TSQLServer& server, int round) {
  const auto start = Clock::now();
  for (int id = 1; id <= kRows; ++id) {
    server.InternalExecute(
        Format("UPDATE fid_bench SET qty = %d WHERE id = %d AND qty = %d", {round, id, round - 1}));
  }
  return tessel::testing::SecondsSince(start);
}

int Run() {
  tessel::testing::BenchServer sqld(kPassword);
  TSQLServer& server = sqld.Server();
  FillTable(server);
  double posted = 1e9, raw = 1e9;
  int round = 0;
  for (int run = 0; run < kRuns; ++run) {
    raw = std::min(raw, RawUpdates(server, ++round));
    posted = std::min(posted, PostedEdits(server, ++round));
  }
  std::printf("RATIO post_update_vs_raw_exec %.3f\n", posted / raw);
  std::fflush(stdout);
  Roundtrip(server);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_fidelity", kUsage, [] { return Run(); });
}
