// The explorer's window as a user works it: a statement runs in the
// background and its rows appear in the grid, a long one is cancelled from
// the Cancel button and the window is usable again, a failing one shows the
// server's message, and the detail query follows the master's current row.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "explorer_fixture.h"

namespace tessel::testing {
namespace {

TEST_F(ExplorerTest, RunShowsTheRowsInTheGrid) {
  MakeTable("ex_rows", 5);
  window->SetSql("SELECT id, name FROM ex_rows ORDER BY id");
  ASSERT_TRUE(ClickAndWait("&Run"));
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(window->Running());
  EXPECT_EQ(window->Status(), "5 rows read; edits are written to ex_rows (key id)");
  EXPECT_EQ(window->Grid()->Model()->rowCount(), 5);
  EXPECT_EQ(Cell(4, 1), "row5");
  EXPECT_TRUE(Button("&Run")->isEnabled());
  EXPECT_FALSE(Button("&Cancel")->isEnabled());

  // Running another statement replaces the rows.
  window->SetSql("SELECT name FROM ex_rows WHERE id > 3 ORDER BY id");
  ASSERT_TRUE(ClickAndWait("&Run"));
  EXPECT_EQ(window->Status(), "2 rows read; read-only: the key column id is not in the result");
  EXPECT_EQ(window->Grid()->Model()->columnCount(), 1);
  EXPECT_EQ(Cell(0, 0), "row4");
}

TEST_F(ExplorerTest, CancelStopsALongStatementAndTheWindowRunsTheNext) {
  MakeTable("ex_after", 2);
  window->SetSql("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one");
  // A detail that must not run for a statement that never completed.
  window->SetDetailSql("SELECT name FROM ex_after WHERE id = :one");
  QTest::mouseClick(Button("&Run"), Qt::LeftButton);
  ASSERT_TRUE(window->Running());
  EXPECT_EQ(window->Status(), "Running...");
  EXPECT_FALSE(Button("&Run")->isEnabled());
  QTest::qWait(300);  // the server is inside the wait by now
  ASSERT_TRUE(window->Running());

  ASSERT_TRUE(ClickAndWait("&Cancel"));
  EXPECT_FALSE(window->Running());
  EXPECT_EQ(window->Status(), "Cancelled");
  EXPECT_FALSE(window->Master()->Active());
  // Nothing of the cancelled statement arrives later.
  QSignalSpy late(window.get(), &ExplorerWindow::Finished);
  EXPECT_FALSE(late.wait(500));
  EXPECT_EQ(window->Status(), "Cancelled");
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  EXPECT_FALSE(window->Detail()->Active());

  window->SetSql("SELECT name FROM ex_after ORDER BY id");
  window->SetDetailSql("");
  ASSERT_TRUE(ClickAndWait("&Run"));
  EXPECT_TRUE(window->Status().startsWith("2 rows read; read-only"))
      << window->Status().toStdString();
  EXPECT_EQ(Cell(1, 0), "row2");
}

TEST_F(ExplorerTest, ExecuteReportsRowsAffectedAndAFailureShowsTheServersMessage) {
  MakeTable("ex_exec", 3);
  window->SetSql("UPDATE ex_exec SET name = 'x' WHERE id >= 2");
  ASSERT_TRUE(ClickAndWait("E&xecute"));
  EXPECT_EQ(window->Status(), "2 rows affected");
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM ex_exec ORDER BY id"),
            (std::vector<std::string>{"row1", "x", "x"}));

  window->SetSql("SELECT * FROM ex_no_such_table");
  ASSERT_TRUE(ClickAndWait("&Run"));
  EXPECT_EQ(window->Status(), "Failed: error 208");
  ASSERT_EQ(errors.size(), 1u);
  // The server's number and words, once, without the exception's class or a
  // doubled period.
  EXPECT_EQ(errors[0], "Error 208: Invalid object name 'ex_no_such_table'.");
  EXPECT_TRUE(Button("&Run")->isEnabled());
}

TEST_F(ExplorerTest, DetailFollowsTheMastersCurrentRow) {
  MakeTable("ex_master", 2);
  server->InternalExecute("IF OBJECT_ID('ex_lines') IS NOT NULL DROP TABLE ex_lines");
  server->InternalExecute("CREATE TABLE ex_lines (master_id int, item varchar(10))");
  server->InternalExecute("INSERT INTO ex_lines VALUES (1, 'a')");
  server->InternalExecute("INSERT INTO ex_lines VALUES (2, 'b')");
  server->InternalExecute("INSERT INTO ex_lines VALUES (2, 'c')");
  window->SetSql("SELECT id, name FROM ex_master ORDER BY id");
  window->SetDetailSql("SELECT item FROM ex_lines WHERE master_id = :id ORDER BY item");
  ASSERT_TRUE(ClickAndWait("&Run"));
  ASSERT_TRUE(window->Detail()->Active());
  EXPECT_EQ(window->Detail()->RecordCount(), 1);
  EXPECT_EQ(window->Detail()->FieldByName("item")->AsString(), "a");

  window->Master()->Next();
  ASSERT_TRUE(window->Detail()->Active());
  EXPECT_EQ(window->Detail()->RecordCount(), 2);
  EXPECT_EQ(window->DetailGrid()->Model()->rowCount(), 2);
  auto* detail = window->DetailGrid()->Model();
  EXPECT_EQ(detail->data(detail->index(1, 0)).toString(), "c");
}

// Edits of a one-table result reach the server (read back on another
// connection); a join is read-only and the status line says why.
TEST_F(ExplorerTest, EditsOfOneTableReachTheServerAndAJoinIsReadOnly) {
  MakeTable("ex_edit", 3);
  window->SetSql("SELECT e.id, e.name, e.id * 2 AS twice FROM ex_edit e ORDER BY e.id");
  ASSERT_TRUE(ClickAndWait("&Run"));
  ASSERT_TRUE(window->Status().endsWith("edits are written to ex_edit (key id)"))
      << window->Status().toStdString();
  TTessel& q = *window->Master();
  ASSERT_TRUE(q.CanModify());
  EXPECT_TRUE(q.FieldByName("twice")->ReadOnly()) << "not a column of the table";
  auto* model = window->Grid()->Model();
  EXPECT_FALSE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);

  // Edit row 2, insert a row, delete row 1; each reaches the server.
  ASSERT_TRUE(model->setData(model->index(1, 1), "edited"));
  ASSERT_TRUE(model->MoveToRow(2));
  q.Append();
  q.FieldByName("id")->SetAsInteger(7);
  q.FieldByName("name")->SetAsString("added");
  q.Post();
  q.First();
  q.Delete();
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT name FROM ex_edit ORDER BY id"),
            (std::vector<std::string>{"edited", "row3", "added"}));
  // Opened again (the navigator's Refresh), the rows are the server's and the
  // computed column is still not offered for editing.
  q.Close();
  q.Open();
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_TRUE(q.FieldByName("twice")->ReadOnly());

  window->SetSql("SELECT a.id, b.name FROM ex_edit a JOIN ex_edit b ON b.id = a.id");
  ASSERT_TRUE(ClickAndWait("&Run"));
  EXPECT_TRUE(window->Status().endsWith("read-only: the rows come from a join"))
      << window->Status().toStdString();
  EXPECT_FALSE(window->Master()->CanModify());
  EXPECT_FALSE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
}

}  // namespace
}  // namespace tessel::testing
