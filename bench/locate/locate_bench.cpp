// Times SortField and Locate on a TTessel cache of 1,000,000 rows of an int,
// a varchar(30), a money and a datetime column read from tessel-sqld, against
// the same work on the values extracted into plain vectors in the same run:
//   RATIO sort_vs_std_sort_keys <SortField time / std::sort time>, summed
//     over the four columns, each sort starting from the same order on both
//     sides (the cache's order at that moment);
//   RATIO sort_first_vs_std_sort_keys <the same for each column's first
//     sort, one run against std::sort of the same order>, before the cache
//     keeps that column's keys from an earlier sort;
//   RATIO locate_first_vs_scan <Locate time / loop time>, summed over the
//     four columns, searching each for the value of the last cached row
//     right after a sort (so no key index helps);
// and one line per column for each (…_int, …_varchar, …_money, …_datetime);
//   RATIO locate_partial_repeat_vs_scan <Locate time / loop time>, for
//     partial-key Locates on the varchar column, one beginning after another
//     (so a prefix index serves them), against a loop that looks for the
//     first value with that beginning;
//   RATE lookup_repeat_per_s <Lookup calls per second>, one Lookup of a
//     random int key after another (nine in ten found), as a grid's lookup
//     field does for each cell it paints.
// Each timing is the best of several runs.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "bench_main.h"
#include "bench_server.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 1000000;
constexpr int kRuns = 3;
constexpr int kRowsPerInsert = 1000;
// Row n holds the values of (n * kSpread) mod kModulus: every column's
// values are distinct and in no order relative to the ids.
constexpr long long kSpread = 7919;
constexpr long long kModulus = 1000003;
constexpr const char* kPassword = "bench-Locate-1";
constexpr const char* kSelect = "SELECT id, name, price, added FROM bench_locate";

const char kUsage[] =
    "usage: bench_locate [--help]\n"
    "Starts tessel-sqld on a free loopback port, fills a table of 1,000,000 rows and\n"
    "prints the RATIO lines of SortField and Locate against std::sort and a plain loop.\n";

struct Column {
  const char* field;
  const char* suffix;
};
constexpr std::array<Column, 4> kColumns{{
    {"id", "int"},
    {"name", "varchar"},
    {"price", "money"},
    {"added", "datetime"},
}};

using tessel::testing::SecondsSince;

void FillTable(TSQLServer& server) {
  server.InternalExecute(
      "CREATE TABLE bench_locate (id int NOT NULL, name varchar(30) NULL, price money NULL, "
      "added datetime NULL)");
  for (int first = 1; first <= kRows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO bench_locate VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= kRows; ++id) {
      const long long p = id * kSpread % kModulus;
      if (id != first) sql += ",";
      // The date-time: 2000-01-01 plus p seconds, distinct like p.
      sql +=
          Format("(%d, 'row name number %d', %d.%.2d, '200001%.2d %.2d:%.2d:%.2d')",
                 {p, p, p / 100, p % 100, 1 + p / 86400, p % 86400 / 3600, p % 3600 / 60, p % 60});
    }
    server.InternalExecute(sql);
  }
}

// One column's values in cache order, in the form a program would keep them.
using Values = std::variant<std::vector<int>, std::vector<std::string>, std::vector<double>>;

Values Extract(TTessel& query, const std::string& field) {
  TField* f = query.FieldByName(field);
  std::vector<int> ints;
  std::vector<std::string> texts;
  std::vector<double> numbers;
  query.DisableControls();
  for (query.First(); !query.Eof(); query.Next()) {
    switch (f->DataType()) {
      case ftInteger:
        ints.push_back(static_cast<int>(f->AsInteger()));
        break;
      case ftString:
        texts.push_back(f->AsString());
        break;
      default:
        numbers.push_back(f->AsFloat());
        break;
    }
  }
  query.EnableControls();
  if (f->DataType() == ftInteger) return ints;
  if (f->DataType() == ftString) return texts;
  return numbers;
}

double TimeStdSort(const Values& values) {
  return std::visit(
      [](const auto& original) {
        auto copy = original;
        const auto start = Clock::now();
        std::sort(copy.begin(), copy.end());
        return SecondsSince(start);
      },
      values);
}

double TimeScan(const Values& values) {
  return std::visit(
      [](const auto& v) {
        const auto start = Clock::now();
        const auto key = v.back();
        std::size_t i = 0;
        while (i < v.size() && !(v[i] == key)) ++i;
        const double elapsed = SecondsSince(start);
        if (i != v.size() - 1) throw std::runtime_error("the scan stopped early");
        return elapsed;
      },
      values);
}

Variant LastValue(TTessel& query, const std::string& field) {
  query.Last();
  TField* f = query.FieldByName(field);
  if (f->DataType() == ftDateTime) return VarFromDateTime(f->AsDateTime());
  return f->AsVariant();
}

constexpr int kLookups = 1000000;

double LookupRate(TTessel& query) {
  const auto ids = std::get<std::vector<int>>(Extract(query, "id"));
  std::mt19937 random(7);
  std::vector<int> keys(kLookups);
  for (int& key : keys) {
    // Values past the modulus are in no row.
    key = random() % 10 == 0 ? static_cast<int>(kModulus + random() % 1000)
                             : ids[random() % ids.size()];
  }
  double best = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    int found = 0;
    const auto start = Clock::now();
    for (const int key : keys) found += query.Lookup("id", key, "price").IsNull() ? 0 : 1;
    best = std::min(best, SecondsSince(start));
    if (found < kLookups * 8 / 10) throw std::runtime_error("Lookup missed keys it should find");
  }
  return kLookups / best;
}

constexpr int kBeginnings = 200;

// Partial-key Locate, repeated with different beginnings, over a loop on
// the extracted texts that compares beginnings byte by byte (the same test
// for texts of ASCII letters, digits and spaces with case counting).
double PartialRepeatRatio(TTessel& query) {
  const auto names = std::get<std::vector<std::string>>(Extract(query, "name"));
  std::mt19937 random(11);
  std::vector<std::string> beginnings(kBeginnings);
  for (std::string& beginning : beginnings) {
    // A name less its last digit: the beginning of up to eleven names.
    const std::string& name = names[random() % names.size()];
    beginning = name.substr(0, name.size() - 1);
  }
  std::vector<std::size_t> first(kBeginnings);
  double baseline = 1e9, tessel = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    auto start = Clock::now();
    for (std::size_t b = 0; b < beginnings.size(); ++b) {
      const std::string& beginning = beginnings[b];
      std::size_t i = 0;
      while (i < names.size() && names[i].compare(0, beginning.size(), beginning) != 0) ++i;
      first[b] = i;
    }
    baseline = std::min(baseline, SecondsSince(start));
    start = Clock::now();
    for (std::size_t b = 0; b < beginnings.size(); ++b) {
      if (!query.Locate("name", Variant(beginnings[b]), loPartialKey) ||
          query.RecNo() != static_cast<int>(first[b] + 1)) {
        throw std::runtime_error("partial Locate did not find the first row for " + beginnings[b]);
      }
    }
    tessel = std::min(tessel, SecondsSince(start));
  }
  return tessel / baseline;
}

struct Totals {
  std::array<double, kColumns.size()> tessel{};
  std::array<double, kColumns.size()> baseline{};
};

void Print(const char* name, const Totals& t) {
  double tessel = 0, baseline = 0;
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    tessel += t.tessel[c];
    baseline += t.baseline[c];
  }
  std::printf("RATIO %s %.3f\n", name, tessel / baseline);
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    std::printf("RATIO %s_%s %.3f\n", name, kColumns[c].suffix, t.tessel[c] / t.baseline[c]);
  }
}

int Run() {
  tessel::testing::BenchServer sqld(kPassword);
  TSQLServer& server = sqld.Server();
  std::fprintf(stderr, "bench_locate: filling a table of %d rows...\n", kRows);
  FillTable(server);
  std::fprintf(stderr, "bench_locate: sorting and locating...\n");

  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText(kSelect);
  query.Open();
  if (query.RecordCount() != kRows) {
    throw std::runtime_error(Format("the cache holds %d rows", {query.RecordCount()}));
  }

  Totals sort, locate, first;
  sort.tessel.fill(1e9);
  sort.baseline.fill(1e9);
  locate.tessel.fill(1e9);
  locate.baseline.fill(1e9);
  for (int run = 0; run < kRuns; ++run) {
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const std::string field = kColumns[c].field;
      // Both sides sort the order the cache has now (the previous column's).
      const Values values = Extract(query, field);
      const double baseline = TimeStdSort(values);
      if (run == 0) first.baseline[c] = baseline;
      sort.baseline[c] = std::min(sort.baseline[c], baseline);
      auto start = Clock::now();
      query.SortField(field, soAscending);
      const double sorted = SecondsSince(start);
      if (run == 0) first.tessel[c] = sorted;
      sort.tessel[c] = std::min(sort.tessel[c], sorted);

      // The key is the last row's value, on both sides.
      const Values after = Extract(query, field);
      locate.baseline[c] = std::min(locate.baseline[c], TimeScan(after));
      const Variant key = LastValue(query, field);
      query.First();
      start = Clock::now();
      const bool found = query.Locate(field, key, 0);
      locate.tessel[c] = std::min(locate.tessel[c], SecondsSince(start));
      if (!found || query.RecNo() != kRows) {
        throw std::runtime_error("Locate did not find the last row by " + field);
      }
    }
  }
  Print("sort_vs_std_sort_keys", sort);
  Print("sort_first_vs_std_sort_keys", first);
  Print("locate_first_vs_scan", locate);
  std::fprintf(stderr, "bench_locate: repeated partial-key Locates...\n");
  std::printf("RATIO locate_partial_repeat_vs_scan %.3f\n", PartialRepeatRatio(query));
  std::fprintf(stderr, "bench_locate: repeated lookups...\n");
  std::printf("RATE lookup_repeat_per_s %.0f\n", LookupRate(query));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_locate", kUsage, [] { return Run(); });
}
