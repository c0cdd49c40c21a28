// A data-entry screen of 20 bound controls (line edits, labels, decimal and
// spin edits, date edits, check boxes, a combo box and a lookup combo box)
// follows a dataset of 10,000 cached records from tessel-sqld from the first
// record to the last, the screen repainted at every record on Qt's offscreen
// platform. The best of three runs, timed in CPU seconds of the process.
// Prints:
//   RATE bound_screen_records_per_s <records shown and painted per second>

#include <QApplication>
#include <QFormLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "bench_main.h"
#include "bench_server.h"
#include "controls/data_check_box.h"
#include "controls/data_combo_boxes.h"
#include "controls/data_date_edits.h"
#include "controls/data_edits.h"
#include "controls/data_number_edits.h"
#include "framework/datasource.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;
using namespace tessel::controls;

// The process's CPU time: a busy machine does not lower the rate.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

constexpr int kRows = 10000;
constexpr int kRowsPerInsert = 500;

void FillTables(TSQLServer& server) {
  server.InternalExecute("CREATE TABLE screen_kinds (kind int PRIMARY KEY, name varchar(20) NULL)");
  for (int k = 0; k < 5; ++k)
    server.InternalExecute("INSERT INTO screen_kinds VALUES (" + std::to_string(k) + ", 'kind " +
                           std::to_string(k) + "')");
  server.InternalExecute(
      "CREATE TABLE screen_rows (id int PRIMARY KEY, name varchar(30) NULL, "
      "city varchar(20) NULL, note varchar(40) NULL, code char(6) NULL, qty int NULL, "
      "stock smallint NULL, price decimal(19,4) NULL, cost decimal(19,4) NULL, "
      "weight decimal(9,3) NULL, born date NULL, seen datetime NULL, shipped date NULL, "
      "active bit NULL, yn char(1) NULL, color varchar(10) NULL, kind int NULL, "
      "email varchar(40) NULL, phone varchar(20) NULL, total decimal(19,4) NULL)");
  for (int first = 1; first <= kRows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO screen_rows VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= kRows; ++id) {
      if (id != first) sql += ",";
      char row[400];
      std::snprintf(row, sizeof row,
                    "(%d, 'name %d', 'city %d', 'a note on row %d', 'C%05d', %d, %d, %d.2500, "
                    "%d.1250, %d.500, '2020-01-%02d', '2021-03-04 05:06:%02d', NULL, %d, 'Y', "
                    "'red', %d, 'row%d@example.org', '+31 20 %07d', %d.7500)",
                    id, id, id % 97, id, id, id, id % 300, id % 1000, id % 500, id % 80,
                    1 + id % 28, id % 60, id % 2, id % 5, id, id, id);
      sql += row;
    }
    server.InternalExecute(sql);
  }
}

template <typename Control>
Control* Add(QFormLayout& layout, TDataSource& source, const char* field) {
  auto* control = new Control;
  control->SetDataSource(&source);
  control->SetFieldName(field);
  layout.addRow(QString::fromLatin1(field), control);
  return control;
}

// The screen: 20 controls, one per column but id.
void BuildScreen(QWidget& screen, TDataSource& source, TDataSource& kinds) {
  auto* layout = new QFormLayout(&screen);
  for (const char* field : {"name", "city", "note", "code", "email", "phone"})
    Add<DataLineEdit>(*layout, source, field);
  Add<DataLabel>(*layout, source, "id");
  Add<DataSpinBox>(*layout, source, "qty");
  Add<DataSpinBox>(*layout, source, "stock");
  for (const char* field : {"price", "cost", "weight", "total"})
    Add<DataDecimalEdit>(*layout, source, field);
  Add<DataDateEdit>(*layout, source, "born");
  Add<DataDateTimeEdit>(*layout, source, "seen");
  Add<DataDateEdit>(*layout, source, "shipped");
  Add<DataCheckBox>(*layout, source, "active");
  auto* yn = Add<DataCheckBox>(*layout, source, "yn");
  yn->setValueChecked("Y");
  yn->setValueUnchecked("N");
  Add<DataComboBox>(*layout, source, "color")->addItems({"red", "green", "blue"});
  auto* kind = new DataLookupComboBox;
  kind->setKeyField("kind");
  kind->setListField("name");
  kind->SetListSource(&kinds);
  kind->SetDataSource(&source);
  kind->SetFieldName("kind");
  layout->addRow(QStringLiteral("kind"), kind);
}

// Records shown and painted per CPU second, from the first to the last.
double FollowOnce(QWidget& screen, TTessel& query) {
  query.First();
  screen.repaint();
  const double start = CpuSeconds();
  int records = 1;
  while (true) {
    query.Next();
    if (query.Eof()) break;
    screen.repaint();
    ++records;
  }
  const double rate = records / (CpuSeconds() - start);
  return records == kRows ? rate : -1;
}

constexpr const char* kUsage =
    "usage: bench_screen [--help]\n"
    "Starts tessel-sqld on a free loopback port, caches 10,000 records and moves a\n"
    "screen of 20 data-aware controls through them, repainting it at each record on\n"
    "the offscreen platform; prints RATE bound_screen_records_per_s.\n";

int Run(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  testing::BenchServer sqld(testing::RandomPassword("bench-Screen-").c_str());
  TSQLServer& server = sqld.Server();
  FillTables(server);

  TTessel kinds_query(nullptr);
  kinds_query.SetSQLServer(&server);
  kinds_query.SetCacheAllRecords(true);
  kinds_query.SQL()->SetText("SELECT kind, name FROM screen_kinds ORDER BY kind");
  kinds_query.Open();
  TDataSource kinds(nullptr);
  kinds.SetDataSet(&kinds_query);

  TTessel query(nullptr);
  query.SetSQLServer(&server);
  query.SetCacheAllRecords(true);
  query.SQL()->SetText("SELECT * FROM screen_rows ORDER BY id");
  query.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&query);

  double best = 0;
  {
    QWidget screen;
    BuildScreen(screen, source, kinds);
    screen.resize(480, 760);
    screen.show();
    QApplication::processEvents();
    for (int run = 0; run < 3; ++run) {
      const double rate = FollowOnce(screen, query);
      if (rate < 0) throw EDatabaseError(Format("the dataset did not hold %d records", {kRows}));
      best = std::max(best, rate);
    }
  }
  std::printf("RATE bound_screen_records_per_s %.0f\n", best);
  query.Close();
  kinds_query.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_screen", kUsage,
                                        [&] { return Run(argc, argv); });
}
