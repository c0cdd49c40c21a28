// Editing in the grid writes to the server when the row is left; a post the
// server refuses keeps what the user typed, in the grid and in the record,
// and says why. An inserted row shows among the others.

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "controls/data_error.h"
#include "controls/data_grid.h"
#include "controls_fixture.h"

namespace tessel::testing {
namespace {

using controls::DataGrid;
using controls::DataGridModel;
using Lines = std::vector<std::string>;

// Collects what the controls show the user while it lives.
class ShownErrors {
 public:
  ShownErrors()
      : previous_(controls::SetDataErrorHandler(
            [this](QWidget*, const QString& message) { messages.push_back(message); })) {}
  ~ShownErrors() { controls::SetDataErrorHandler(previous_); }
  std::vector<QString> messages;

 private:
  controls::DataErrorHandler previous_;
};

QString Cell(const DataGridModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString();
}

TEST_F(ControlsTest, CellEditIsPostedToTheServer) {
  MakeNumbers("ctl_post", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_post ORDER BY id", true, "ctl_post");
  DataGridModel model;
  model.SetDataSource(source.get());
  ShownErrors errors;

  ASSERT_TRUE(model.flags(model.index(2, 1)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model.setData(model.index(2, 1), "third"));
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(q.State(), dsEdit) << "the row is posted when it is left";
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_post WHERE id = 3"), Lines{"name3"});
  EXPECT_TRUE(model.MoveToRow(1));
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(Cell(model, 2, 1), "third");
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_post ORDER BY id"),
            (Lines{"name1", "name2", "third"}));

  // A second edit on another row, posted by the dataset's Post, read back
  // after the page was read again.
  EXPECT_TRUE(model.setData(model.index(0, 0), "10"));
  q.Post();
  EXPECT_EQ(ServerRows("SELECT id FROM ctl_post ORDER BY id"), (Lines{"2", "3", "10"}));
  EXPECT_EQ(Cell(model, 0, 0), "10");
  EXPECT_EQ(Cell(model, 1, 1), "name2");
}

TEST_F(ControlsTest, CellTypedInTheViewReachesTheServer) {
  MakeNumbers("ctl_typed", 2);
  OpenQuery("SELECT id, name FROM ctl_typed ORDER BY id", true, "ctl_typed");
  DataGrid grid;
  grid.SetDataSource(source.get());
  grid.resize(400, 300);
  grid.show();
  ShownErrors errors;

  const QModelIndex cell = grid.Model()->index(1, 1);
  grid.setCurrentIndex(cell);
  grid.edit(cell);
  auto* editor = grid.viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "typed");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  QTest::keyClick(grid.viewport(), Qt::Key_Up);  // leaves the row: posted
  QApplication::processEvents();
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_typed WHERE id = 2"), Lines{"typed"});
  EXPECT_EQ(Cell(*grid.Model(), 1, 1), "typed");
}

TEST_F(ControlsTest, RefusedPostKeepsTheTypedValueAndShowsTheServersError) {
  MakeNumbers("ctl_refused", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_refused ORDER BY id", true, "ctl_refused");
  DataGrid grid;
  // Pages of two rows: the view shows rows of two pages at once.
  grid.Model()->SetPageSize(2);
  grid.SetDataSource(source.get());
  grid.resize(400, 300);
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  QApplication::processEvents();
  DataGridModel& model = *grid.Model();
  ASSERT_EQ(model.rowCount(), 3);
  grid.viewport()->repaint();  // all three rows painted: both pages read
  ASSERT_EQ(model.PageReads(), 2);
  ShownErrors errors;

  // Row 2 takes the key of row 1: the server refuses the update when the
  // row is left.
  EXPECT_TRUE(model.setData(model.index(1, 0), "1"));
  EXPECT_FALSE(model.MoveToRow(0));
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_TRUE(errors.messages[0].contains("duplicate key")) << errors.messages[0].toStdString();
  EXPECT_EQ(ServerRows("SELECT id FROM ctl_refused ORDER BY id"), (Lines{"1", "2", "3"}));
  // The record is still being edited with the typed value, which the grid
  // shows on its row; the rows around it, on either page, keep theirs.
  EXPECT_EQ(q.State(), dsEdit);
  EXPECT_EQ(q.RecNo(), 2);
  EXPECT_EQ(q.FieldByName("id")->AsInteger(), 1);
  EXPECT_EQ(Cell(model, 1, 0), "1");
  EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "2 *");
  EXPECT_EQ(Cell(model, 0, 0), "1");
  EXPECT_EQ(Cell(model, 2, 0), "3");

  // Moving away cannot drop the edit silently: the post is tried again and
  // refused again, and the row stays current.
  EXPECT_FALSE(model.MoveToRow(2));
  EXPECT_EQ(errors.messages.size(), 2u);
  EXPECT_EQ(q.RecNo(), 2);
  EXPECT_EQ(q.FieldByName("id")->AsInteger(), 1);

  // Corrected, it posts.
  EXPECT_TRUE(model.setData(model.index(1, 0), "20"));
  EXPECT_TRUE(model.MoveToRow(2));
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(ServerRows("SELECT id FROM ctl_refused ORDER BY id"), (Lines{"1", "3", "20"}));
  EXPECT_EQ(errors.messages.size(), 2u);
}

// A new record with several NOT NULL columns is checked once, when the row
// is left, not at each cell; Escape takes back the row being edited.
TEST_F(ControlsTest, RowIsPostedWholeWhenLeftAndEscapeCancelsIt) {
  server->InternalExecute("IF OBJECT_ID('ctl_whole') IS NOT NULL DROP TABLE ctl_whole");
  server->InternalExecute(
      "CREATE TABLE ctl_whole (id int PRIMARY KEY, name varchar(10) NOT NULL, n int NOT NULL)");
  server->InternalExecute("INSERT INTO ctl_whole VALUES (1, 'one', 1)");
  TTessel& q = OpenQuery("SELECT id, name, n FROM ctl_whole ORDER BY id", true, "ctl_whole");
  q.UpdateParams()->UpdateFields()->SetText("id\nname\nn");
  DataGrid grid;
  grid.SetDataSource(source.get());
  grid.resize(400, 300);
  grid.show();
  DataGridModel& model = *grid.Model();
  ShownErrors errors;

  q.Append();
  ASSERT_EQ(model.rowCount(), 2);
  for (int column = 0; column < 3; ++column)
    EXPECT_TRUE(model.setData(model.index(1, column), column == 1 ? "two" : "2"));
  EXPECT_TRUE(errors.messages.empty()) << errors.messages[0].toStdString();
  EXPECT_EQ(ServerRows("SELECT id FROM ctl_whole ORDER BY id"), Lines{"1"});
  EXPECT_TRUE(model.MoveToRow(0));
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_whole ORDER BY id"), (Lines{"one", "two"}));

  // Escape outside a cell editor cancels the edit and the insert.
  EXPECT_TRUE(model.setData(model.index(0, 1), "changed"));
  QTest::keyClick(&grid, Qt::Key_Escape);
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(Cell(model, 0, 1), "one");
  q.Insert();
  ASSERT_EQ(model.rowCount(), 3);
  QTest::keyClick(&grid, Qt::Key_Escape);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_whole ORDER BY id"), (Lines{"one", "two"}));
  EXPECT_TRUE(errors.messages.empty());
}

// While a record is inserted the other rows keep their texts, those below it
// one row down; an empty result shows the new row to type into.
TEST_F(ControlsTest, InsertedRowShowsAmongTheOthers) {
  MakeNumbers("ctl_ins", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_ins ORDER BY id", true, "ctl_ins");
  DataGridModel model;
  model.SetDataSource(source.get());
  ASSERT_EQ(Cell(model, 2, 1), "name3");
  q.Next();
  q.Insert();
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.CurrentRow(), 1);
  EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "2 +");
  const std::vector<QString> shown = {Cell(model, 0, 1), Cell(model, 1, 1), Cell(model, 2, 1),
                                      Cell(model, 3, 1)};
  EXPECT_EQ(shown, (std::vector<QString>{"name1", "", "name2", "name3"}));
  EXPECT_TRUE(model.setData(model.index(1, 0), "9"));
  EXPECT_TRUE(model.setData(model.index(1, 1), "nine"));
  q.Post();
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(Cell(model, 1, 1), "nine");
  EXPECT_EQ(Cell(model, 3, 1), "name3");
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_ins WHERE id = 9"), Lines{"nine"});

  model.SetDataSource(nullptr);
  OpenQuery("SELECT id, name FROM ctl_ins WHERE id < 0", true, "ctl_ins");
  model.SetDataSource(source.get());
  ASSERT_EQ(model.rowCount(), 0);
  query->Insert();
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.CurrentRow(), 0);
  EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
  query->Cancel();
  EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace tessel::testing
