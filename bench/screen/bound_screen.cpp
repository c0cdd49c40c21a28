// A data-entry screen of 20 bound controls (line edits, labels, decimal and
// spin edits, date edits, check boxes, a combo box and a lookup combo box)
// follows a dataset of 10,000 cached records from tessel-sqld from the first
// record to the last on Qt's offscreen platform, in two ways:
//   - as on a user's screen: after each move the event loop lays out and
//     paints what the move changed. The bench counts the paint events of each
//     control and its parts, and a run in which a control whose value
//     changes at every record was not painted at every record does not count;
//   - the whole screen repainted at every record, every caption and every
//     control whether it changed or not.
// The best of three runs of each, timed in CPU seconds of the process.
// TESSEL_SCREEN_RECORDS sets another number of records, for profiling under
// a simulator where 10,000 take too long; the rates are then not comparable.
// Prints:
//   RATE bound_screen_records_per_s <records shown and painted per second>
//   RATE bound_screen_full_repaint_records_per_s <the same, all repainted>

#include <QApplication>
#include <QFormLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

constexpr int kRowsPerInsert = 500;

// The records in the table: 10,000 unless TESSEL_SCREEN_RECORDS says other.
int Rows() {
  static const int rows = [] {
    const char* text = std::getenv("TESSEL_SCREEN_RECORDS");
    const int asked = text == nullptr ? 0 : std::atoi(text);
    return asked > 1 ? asked : 10000;
  }();
  return rows;
}

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
  const int rows = Rows();
  for (int first = 1; first <= rows; first += kRowsPerInsert) {
    std::string sql = "INSERT INTO screen_rows VALUES ";
    for (int id = first; id < first + kRowsPerInsert && id <= rows; ++id) {
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

// Counts the records at which a control, or one of its parts (a spin box's
// or an editable combo box's line edit), received a paint event.
class PaintWatch : public QObject {
 public:
  PaintWatch(QWidget& control, const char* field) : field_(field) {
    control.installEventFilter(this);
    for (QWidget* part : control.findChildren<QWidget*>()) part->installEventFilter(this);
  }
  const char* Field() const { return field_; }
  // A new record: whether the control was painted since the last call.
  bool Painted() { return std::exchange(painted_, false); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted_ = true;
    return QObject::eventFilter(watched, event);
  }

 private:
  const char* field_;
  bool painted_ = false;
};

// The screen and the watches of the controls whose value differs from one
// record to the next (all but shipped, yn and color, the same in every row).
struct Screen {
  QWidget widget;
  std::vector<std::unique_ptr<PaintWatch>> changing;
};

template <typename Control>
Control* Add(QFormLayout& layout, TDataSource& source, const char* field) {
  auto* control = new Control;
  control->SetDataSource(&source);
  control->SetFieldName(field);
  layout.addRow(QString::fromLatin1(field), control);
  return control;
}

// The screen: 20 controls, one per column but id.
void BuildScreen(Screen& screen, TDataSource& source, TDataSource& kinds) {
  auto* layout = new QFormLayout(&screen.widget);
  std::vector<std::pair<QWidget*, const char*>> changing;
  const auto add_changing = [&](QWidget* control, const char* field) {
    changing.emplace_back(control, field);
  };
  for (const char* field : {"name", "city", "note", "code", "email", "phone"})
    add_changing(Add<DataLineEdit>(*layout, source, field), field);
  add_changing(Add<DataLabel>(*layout, source, "id"), "id");
  add_changing(Add<DataSpinBox>(*layout, source, "qty"), "qty");
  add_changing(Add<DataSpinBox>(*layout, source, "stock"), "stock");
  for (const char* field : {"price", "cost", "weight", "total"})
    add_changing(Add<DataDecimalEdit>(*layout, source, field), field);
  add_changing(Add<DataDateEdit>(*layout, source, "born"), "born");
  add_changing(Add<DataDateTimeEdit>(*layout, source, "seen"), "seen");
  Add<DataDateEdit>(*layout, source, "shipped");
  add_changing(Add<DataCheckBox>(*layout, source, "active"), "active");
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
  add_changing(kind, "kind");
  for (const auto& [control, field] : changing)
    screen.changing.push_back(std::make_unique<PaintWatch>(*control, field));
}

// Records shown and painted per CPU second, from the first to the last;
// paint is what brings the screen up to date after each move.
double FollowOnce(Screen& screen, TTessel& query, const std::function<void()>& paint) {
  query.First();
  paint();
  for (const auto& watch : screen.changing) watch->Painted();
  const double start = CpuSeconds();
  int records = 1;
  while (true) {
    query.Next();
    if (query.Eof()) break;
    paint();
    for (const auto& watch : screen.changing) {
      if (!watch->Painted()) {
        throw EDatabaseError(
            Format("%s was not painted at record %d", {watch->Field(), records + 1}));
      }
    }
    ++records;
  }
  const double rate = records / (CpuSeconds() - start);
  return records == Rows() ? rate : -1;
}

// The best rate of three runs.
double BestOfThree(Screen& screen, TTessel& query, const std::function<void()>& paint) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    const double rate = FollowOnce(screen, query, paint);
    if (rate < 0) throw EDatabaseError(Format("the dataset did not hold %d records", {Rows()}));
    best = std::max(best, rate);
  }
  return best;
}

// Each way apart and never inlined, so that a profiler can be pointed at one
// (callgrind's --toggle-collect).
[[gnu::noinline]] double FollowPaintingWhatChanged(Screen& screen, TTessel& query) {
  return BestOfThree(screen, query, [] { QApplication::processEvents(); });
}

[[gnu::noinline]] double FollowRepaintingAll(Screen& screen, TTessel& query) {
  return BestOfThree(screen, query, [&] { screen.widget.repaint(); });
}

constexpr const char* kUsage =
    "usage: bench_screen [--help]\n"
    "Starts tessel-sqld on a free loopback port, caches 10,000 records and moves a\n"
    "screen of 20 data-aware controls through them on the offscreen platform, painting\n"
    "what changed at each record, then repainting all of it at each record; prints\n"
    "RATE bound_screen_records_per_s and RATE bound_screen_full_repaint_records_per_s.\n";

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

  double shown = 0;
  double repainted = 0;
  {
    Screen screen;
    BuildScreen(screen, source, kinds);
    screen.widget.resize(480, 760);
    screen.widget.show();
    QApplication::processEvents();
    shown = FollowPaintingWhatChanged(screen, query);
    repainted = FollowRepaintingAll(screen, query);
  }
  std::printf("RATE bound_screen_records_per_s %.0f\n", shown);
  std::printf("RATE bound_screen_full_repaint_records_per_s %.0f\n", repainted);
  query.Close();
  kinds_query.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return tessel::testing::BenchmarkMain(argc, argv, "bench_screen", kUsage,
                                        [&] { return Run(argc, argv); });
}
