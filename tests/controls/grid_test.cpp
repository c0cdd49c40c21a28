// The grid model reads the rows the view shows from the dataset, a page at a
// time, without copying the result and without moving the current record.

#include <QApplication>
#include <QTableView>

#include "controls/data_error.h"
#include "controls/data_grid.h"
#include "controls_fixture.h"

namespace tessel::testing {
namespace {

using controls::DataGrid;
using controls::DataGridModel;

QString Cell(const DataGridModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString();
}

// Asks for more rows, as the view does when scrolled to the end, until row
// is there or the result ends.
void FetchUntil(DataGridModel& model, int row) {
  while (model.rowCount() <= row && model.canFetchMore({})) model.fetchMore({});
}

TEST_F(ControlsTest, GridReadsRowsOnDemandAsTheViewScrolls) {
  MakeNumbers("ctl_big", 100000);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_big ORDER BY id");
  DataGridModel model;
  model.SetDataSource(source.get());

  // Only a page is known at first; the rest is still on the server.
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(model.rowCount(), model.PageSize());
  EXPECT_TRUE(model.canFetchMore({}));
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "name");

  FetchUntil(model, 5000);
  EXPECT_EQ(Cell(model, 5000, 0), "5001");
  EXPECT_EQ(Cell(model, 5000, 1), "name5001");
  EXPECT_EQ(Cell(model, 0, 1), "name1");
  EXPECT_EQ(Cell(model, 4999, 0), "5000");
  // Reading rows for the view leaves the current record where it was, and
  // the dataset has not been made to read the whole result.
  EXPECT_EQ(q.RecNo(), 1);
  EXPECT_EQ(q.FieldByName("id")->AsInteger(), 1);
  EXPECT_LT(q.RecordCache().Count(), 20000);
  EXPECT_FALSE(q.AllFetched());

  FetchUntil(model, 200000);
  EXPECT_FALSE(model.canFetchMore({}));
  EXPECT_EQ(model.rowCount(), 100000);
  EXPECT_EQ(Cell(model, 99999, 0), "100000");
  EXPECT_EQ(Cell(model, 50000, 1), "name50001");
  EXPECT_EQ(q.RecNo(), 1);
}

TEST_F(ControlsTest, GridShowsNullsAndAlignsNumbers) {
  server->InternalExecute("IF OBJECT_ID('ctl_nulls') IS NOT NULL DROP TABLE ctl_nulls");
  server->InternalExecute("CREATE TABLE ctl_nulls (id int, name varchar(10) NULL)");
  server->InternalExecute("INSERT INTO ctl_nulls VALUES (1, NULL)");
  OpenQuery("SELECT id, name FROM ctl_nulls", true);
  DataGridModel model;
  model.SetDataSource(source.get());
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(Cell(model, 0, 1), "");
  EXPECT_TRUE(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() &
              Qt::AlignRight);
  EXPECT_FALSE(model.canFetchMore({}));
}

// A grid shows what its columns hold, not a cut-off prefix, whenever the
// query opens, with whatever columns it then has.
TEST_F(ControlsTest, GridFitsColumnsToTheirValuesWhenTheQueryOpens) {
  server->InternalExecute("IF OBJECT_ID('ctl_wide') IS NOT NULL DROP TABLE ctl_wide");
  server->InternalExecute("CREATE TABLE ctl_wide (id int, label varchar(60))");
  const QString label = "a label far longer than a default column is wide";
  server->InternalExecute("INSERT INTO ctl_wide VALUES (1, '" + label.toStdString() + "')");
  TTessel& q = OpenQuery("SELECT label, id FROM ctl_wide", true);
  DataGrid grid;
  grid.resize(900, 300);
  grid.show();
  grid.SetDataSource(source.get());
  EXPECT_GE(grid.columnWidth(0), grid.fontMetrics().horizontalAdvance(label));

  // The last column stretches to the edge, so the label is put in the middle.
  q.Close();
  q.SQL()->SetText("SELECT id, label, id AS n FROM ctl_wide");
  q.Open();
  EXPECT_GE(grid.columnWidth(1), grid.fontMetrics().horizontalAdvance(label));
  EXPECT_LT(grid.columnWidth(0), grid.fontMetrics().horizontalAdvance(label));
}

// Scrolled to rows whose values are wider than the first ones, the columns
// widen to show them whole, measuring only the rows in view: no page beyond
// those in view is read. A column sized by hand keeps its width, and no
// column narrows when scrolled back.
TEST_F(ControlsTest, GridWidensColumnsForTheValuesScrolledIntoView) {
  MakeNumbers("ctl_refit", 20000);
  OpenQuery("SELECT id, name, id AS n, id AS m FROM ctl_refit ORDER BY id", true);
  DataGrid grid;
  grid.resize(700, 300);
  grid.SetDataSource(source.get());
  grid.show();
  FetchUntil(*grid.Model(), 20000);
  QApplication::processEvents();
  const int id_width = grid.columnWidth(0);
  grid.setColumnWidth(2, 30);  // as the user drags it
  const auto fits = [&](int column, const QString& text) {
    return grid.columnWidth(column) >= grid.fontMetrics().horizontalAdvance(text);
  };
  ASSERT_FALSE(fits(1, "name19999")) << "the first rows are narrower";

  const int reads = grid.Model()->PageReads();
  grid.scrollToBottom();
  EXPECT_LE(grid.Model()->PageReads() - reads, 2) << "only the rows in view were read";
  EXPECT_TRUE(fits(0, "20000"));
  EXPECT_GE(grid.columnWidth(0), id_width);
  EXPECT_TRUE(fits(1, "name19999"));
  EXPECT_EQ(grid.columnWidth(2), 30) << "sized by the user";

  const int name_width = grid.columnWidth(1);
  grid.scrollToTop();
  EXPECT_EQ(grid.columnWidth(1), name_width) << "no narrowing while scrolling";
}

TEST_F(ControlsTest, GridAndDatasetShareTheCurrentRecord) {
  MakeNumbers("ctl_small", 10);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_small ORDER BY id", true);
  DataGrid grid;
  grid.SetDataSource(source.get());
  grid.resize(400, 300);

  q.MoveBy(3);
  EXPECT_EQ(grid.Model()->CurrentRow(), 3);
  EXPECT_EQ(grid.currentIndex().row(), 3);

  // Choosing a row in the view makes its record current.
  grid.selectionModel()->setCurrentIndex(grid.Model()->index(7, 0),
                                         QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(q.RecNo(), 8);
  EXPECT_EQ(q.FieldByName("name")->AsString(), "name8");

  q.Close();
  EXPECT_EQ(grid.Model()->rowCount(), 0);
  q.Open();
  EXPECT_EQ(grid.Model()->rowCount(), 10);
  EXPECT_EQ(Cell(*grid.Model(), 9, 1), "name10");
}

TEST_F(ControlsTest, GridRefusesAValueTheFieldDoesNotAcceptAndSaysWhy) {
  MakeNumbers("ctl_refuse", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_refuse ORDER BY id", true);
  DataGridModel model;
  model.SetDataSource(source.get());
  QString shown;
  auto previous =
      controls::SetDataErrorHandler([&](QWidget*, const QString& message) { shown = message; });
  EXPECT_FALSE(model.setData(model.index(1, 0), "not a number"));
  controls::SetDataErrorHandler(previous);
  EXPECT_TRUE(shown.contains("not a number")) << shown.toStdString();
  // The row the user edited became current; its value was not replaced.
  EXPECT_EQ(q.RecNo(), 2);
  EXPECT_EQ(q.FieldByName("id")->AsInteger(), 2);
  q.Cancel();
}

TEST_F(ControlsTest, ViewScrolledOffscreenShowsTheRightRows) {
  MakeNumbers("ctl_view", 3000);
  OpenQuery("SELECT id, name FROM ctl_view ORDER BY id");
  DataGrid grid;
  grid.SetDataSource(source.get());
  grid.resize(500, 400);
  grid.show();
  QApplication::processEvents();
  FetchUntil(*grid.Model(), 2600);
  QApplication::processEvents();
  grid.scrollTo(grid.Model()->index(2500, 0), QAbstractItemView::PositionAtTop);
  QApplication::processEvents();
  const int top = grid.rowAt(0);
  EXPECT_EQ(top, 2500);
  EXPECT_EQ(Cell(*grid.Model(), top, 0), QString::number(top + 1));
  EXPECT_GT(grid.Model()->PageReads(), 0);
}

}  // namespace
}  // namespace tessel::testing
