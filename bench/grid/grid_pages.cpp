// Scrolls a DataGrid from the top to the bottom of 100,000 cached rows (an
// int, a varchar(30) and a money column from tessel-sqld), one page at a
// time, painting each page on Qt's offscreen platform. The best of three
// runs, timed in CPU seconds of the process. Prints:
//   RATE grid_pages_per_s <pages painted per second>
//   RATE grid_model_pages_per_s <the same pages' cells read from the model alone>
//   RATE grid_delegate_pages_per_s <the same scroll with cells and row numbers
//        painted by QTableView through its item delegate, one run>
//   RATIO grid_page_reads_per_page <rows read from the dataset per page / page height>
//   RATE grid_four_columns_pages_per_s <the same scroll with a fourth column,
//        a second copy of the text read with each row>
//   RATE grid_lookup_pages_per_s <the same scroll with the fourth column a
//        lookup field whose every cell is found in a second cache of the
//        100,000 rows>
//   RATIO grid_lookup_vs_four_columns <the lookup rate over the four-column one>

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench_main.h"
#include "bench_server.h"
#include "controls/data_grid.h"
#include "framework/datasource.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
// Time is the process's CPU time, so that a busy machine does not lower
// the rate (painting and reading run on this one thread).
struct Clock {
  using time_point = double;
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
  }
};

constexpr int kRows = 100000;
constexpr int kRowsPerInsert = 500;

void FillTable(TSQLServer& server) {
  server.InternalExecute(
      "CREATE TABLE grid_rows (id int NOT NULL PRIMARY KEY, name varchar(30) NULL, "
      "price money NULL)");
  for (int first = 1; first <= kRows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO grid_rows VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= kRows; ++id) {
      if (id != first) sql += ",";
      sql += Format("(%d, 'grid row %d', %d.50)", {id, id, id % 1000});
    }
    server.InternalExecute(sql);
  }
}

constexpr const char* kUsage =
    "usage: bench_grid [--help]\n"
    "Starts tessel-sqld on a free loopback port, caches 100,000 rows and scrolls\n"
    "the data-aware grid through them a page at a time on the offscreen platform;\n"
    "prints RATE grid_pages_per_s and the other figures, with and without a lookup column.\n";

// Shows the grid on source at the size every run scrolls, with all the rows
// fetched, so that a scroll never waits on the server.
void ShowGrid(controls::DataGrid& grid, TDataSource& source) {
  grid.resize(800, 600);
  grid.SetDataSource(&source);
  grid.show();
  QApplication::processEvents();
  while (grid.Model()->canFetchMore({})) grid.Model()->fetchMore({});
  if (grid.Model()->rowCount() != kRows)
    throw EDatabaseError(
        Format("the grid shows %d rows, not %d", {grid.Model()->rowCount(), kRows}));
}

// Pages painted per CPU second, scrolling the grid from top to bottom once.
// `pages` receives the number of pages painted.
double ScrollOnce(controls::DataGrid& grid, int& pages) {
  QScrollBar* bar = grid.verticalScrollBar();
  bar->setValue(0);
  grid.viewport()->repaint();
  const auto start = Clock::now();
  pages = 0;
  while (true) {
    grid.viewport()->repaint();  // paints the visible rows, asking the model for each cell
    ++pages;
    if (bar->value() >= bar->maximum()) break;
    bar->setValue(bar->value() + bar->pageStep());
  }
  return pages / (Clock::now() - start);
}

// The model alone: the cells of each page asked for as the view would, best
// of three runs.
double ModelPagesPerSecond(controls::DataGrid& grid, int rows_per_page) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    int pages = 0;
    for (int top = 0; top < kRows; top += rows_per_page, ++pages) {
      for (int row = top; row < std::min(kRows, top + rows_per_page); ++row)
        for (int column = 0; column < 3; ++column)
          grid.Model()->data(grid.Model()->index(row, column));
    }
    best = std::max(best, pages / (Clock::now() - start));
  }
  return best;
}

// The grid over the same rows with a fourth column. With Lookup set, it is a
// lookup field: each row's name found again by its id in a second query
// holding all 100,000 rows, as a grid that shows a master table's text for a
// key does. Without, it is the same text read with the row, so that the two
// rates differ by the lookups alone. Best of three scrolls.
double FourColumnPagesPerSecond(TSQLServer& server, bool Lookup) {
  TTessel names(nullptr);
  names.SetSQLServer(&server);
  names.SetCacheAllRecords(true);
  names.SQL()->SetText("SELECT id, name FROM grid_rows");
  // Read to the end first: the grid's query shares the connection.
  names.Open();
  names.Last();
  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText(Lookup ? "SELECT id, name, price FROM grid_rows ORDER BY id"
                              : "SELECT id, name, price, name AS looked_up FROM grid_rows "
                                "ORDER BY id");
  auto add = [&](TField* field, const char* name) {
    field->SetFieldName(name);
    field->SetDataSet(&query);
    return field;
  };
  add(new TIntegerField(&query), "id");
  add(new TStringField(&query), "name")->SetSize(30);
  add(new TCurrencyField(&query), "price");
  TField* looked_up = add(new TStringField(&query), "looked_up");
  looked_up->SetSize(30);
  if (Lookup) {
    looked_up->SetFieldKind(fkLookup);
    looked_up->SetLookupDataSet(&names);
    looked_up->SetKeyFields("id");
    looked_up->SetLookupKeyFields("id");
    looked_up->SetLookupResultField("name");
  }
  query.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&query);

  controls::DataGrid grid;
  ShowGrid(grid, source);
  double best = 0;
  int pages = 0;
  for (int run = 0; run < 3; ++run) best = std::max(best, ScrollOnce(grid, pages));
  query.Last();
  if (looked_up->AsString() != Format("grid row %d", {kRows}))
    throw EDatabaseError("the fourth column shows '" + looked_up->AsString() + "' on the last row");
  return best;
}

int Run(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  testing::BenchServer sqld(testing::RandomPassword("bench-Grid-").c_str());
  TSQLServer& server = sqld.Server();
  FillTable(server);

  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText("SELECT id, name, price FROM grid_rows ORDER BY id");
  query.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&query);

  controls::DataGrid grid;
  ShowGrid(grid, source);

  double best = 0;
  int pages = 0;
  int reads = 0;
  for (int run = 0; run < 3; ++run) {
    const int before = grid.Model()->PageReads();
    best = std::max(best, ScrollOnce(grid, pages));
    reads = grid.Model()->PageReads() - before;
  }
  // The same scroll with QTableView painting the cells through its delegate
  // and QHeaderView the row numbers, for comparison.
  grid.SetPaintsCellsItself(false);
  int delegate_pages = 0;
  const double delegate_rate = ScrollOnce(grid, delegate_pages);
  grid.SetPaintsCellsItself(true);
  const int rows_per_page = std::max(1, grid.verticalScrollBar()->pageStep());
  const double model_best = ModelPagesPerSecond(grid, rows_per_page);

  std::printf("pages per run: %d (%d rows each), page reads: %d\n", pages, rows_per_page, reads);
  std::printf("RATE grid_pages_per_s %.0f\n", best);
  std::printf("RATE grid_model_pages_per_s %.0f\n", model_best);
  std::printf("RATE grid_delegate_pages_per_s %.0f\n", delegate_rate);
  std::printf("RATIO grid_page_reads_per_page %.3f\n",
              double(reads) * grid.Model()->PageSize() / (double(pages) * rows_per_page));
  query.Close();
  const double four = FourColumnPagesPerSecond(server, false);
  const double lookup = FourColumnPagesPerSecond(server, true);
  std::printf("RATE grid_four_columns_pages_per_s %.0f\n", four);
  std::printf("RATE grid_lookup_pages_per_s %.0f\n", lookup);
  std::printf("RATIO grid_lookup_vs_four_columns %.3f\n", lookup / four);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_grid", kUsage,
                                        [&] { return Run(argc, argv); });
}
