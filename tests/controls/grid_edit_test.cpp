// Editing in the grid writes to the server; a post the server refuses keeps
// what the user typed, in the grid and in the record, and says why.

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
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(Cell(model, 2, 1), "third");
  EXPECT_EQ(ServerRows("SELECT name FROM ctl_post ORDER BY id"),
            (Lines{"name1", "name2", "third"}));

  // A second edit on another row, read back after the page was read again.
  EXPECT_TRUE(model.setData(model.index(0, 0), "10"));
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

  // Row 2 takes the key of row 1: the server refuses the update.
  EXPECT_FALSE(model.setData(model.index(1, 0), "1"));
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
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(ServerRows("SELECT id FROM ctl_refused ORDER BY id"), (Lines{"1", "3", "20"}));
  EXPECT_EQ(errors.messages.size(), 2u);
}

}  // namespace
}  // namespace tessel::testing
