// The explorer's tools around the grid: the object tree read from the
// catalog (and the statements its double-clicks write), the export of a
// result as CSV and JSON, the history of statements run, and the keys that
// run and cancel.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "explorer_fixture.h"
#include "object_tree.h"
#include "statement_history.h"

namespace tessel::testing {
namespace {

using explorer::StatementHistory;

class ExplorerToolsTest : public ExplorerTest {
 protected:
  // The database the window's statements run in: the tree's bold item.
  QString CurrentDatabase() const {
    QTreeWidgetItem* item = window->Tree()->currentItem();
    return item != nullptr ? item->text(0) : QString();
  }

  QString DoubleClick(QTreeWidgetItem* item) {
    window->SetSql({});
    emit window->Tree()->itemActivated(item, 0);
    return window->Sql();
  }

  bool RunAndWait() {
    QSignalSpy finished(window.get(), &ExplorerWindow::Finished);
    window->Run();
    return !finished.isEmpty() || finished.wait(30000);
  }
};

TEST_F(ExplorerToolsTest, ObjectTreeListsTheCatalogAndWritesStatements) {
  MakeTable("ex_tree_table", 2);
  server->InternalExecute("IF OBJECT_ID('ex_tree_view') IS NOT NULL DROP VIEW ex_tree_view");
  server->InternalExecute("CREATE VIEW ex_tree_view AS SELECT name FROM ex_tree_table");
  server->InternalExecute("IF OBJECT_ID('ex_tree_proc') IS NOT NULL DROP PROCEDURE ex_tree_proc");
  server->InternalExecute("CREATE PROCEDURE ex_tree_proc AS SELECT 1 AS one");
  ASSERT_TRUE(window->Tree()->Load());
  const QString database = CurrentDatabase();
  ASSERT_FALSE(database.isEmpty());
  ASSERT_NE(window->Tree()->Find("master"), nullptr) << "every database is listed";

  struct Case {
    const char* object;
    const char* group;
    const char* statement;
  };
  for (const Case& c : {Case{"ex_tree_table", "Tables", "SELECT * FROM ex_tree_table"},
                        Case{"ex_tree_view", "Views", "SELECT * FROM ex_tree_view"},
                        Case{"ex_tree_proc", "Procedures", "EXEC ex_tree_proc"}}) {
    SCOPED_TRACE(c.object);
    QTreeWidgetItem* item = window->Tree()->Find(database, c.object);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->parent()->text(0).startsWith(c.group))
        << item->parent()->text(0).toStdString();
    EXPECT_EQ(DoubleClick(item), c.statement);
  }

  // A table's columns, with their types, are read when it is opened.
  QTreeWidgetItem* table = window->Tree()->Find(database, "ex_tree_table");
  EXPECT_EQ(table->childCount(), 0);
  table->setExpanded(true);
  ASSERT_EQ(table->childCount(), 2);
  EXPECT_EQ(table->child(0)->text(0), "id  int, not null");
  EXPECT_EQ(table->child(1)->text(0), "name  varchar(20), not null");
  EXPECT_EQ(DoubleClick(table->child(1)), "SELECT name FROM ex_tree_table");

  // What the tree wrote runs.
  EXPECT_TRUE(window->Status().startsWith("Statement written")) << window->Status().toStdString();
  ASSERT_TRUE(RunAndWait());
  EXPECT_EQ(window->Status(), "2 rows read; read-only: the key column id is not in the result");
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
}

TEST_F(ExplorerToolsTest, ResultExportsAsCsvAndJsonAndTheCursorStays) {
  server->InternalExecute("IF OBJECT_ID('ex_export') IS NOT NULL DROP TABLE ex_export");
  server->InternalExecute(
      "CREATE TABLE ex_export (id int PRIMARY KEY, name nvarchar(30) NULL, pic image NULL, "
      "ok bit NULL)");
  server->InternalExecute("INSERT INTO ex_export VALUES (1, N'Zoë \"z\", and co', 0x010203, 1)");
  server->InternalExecute("INSERT INTO ex_export VALUES (2, NULL, NULL, 0)");
  QTemporaryDir dir;
  const QString path = dir.filePath("result");
  EXPECT_FALSE(window->ExportResult(apps::ExportFormat::kCsv, path));
  EXPECT_EQ(window->Status(), "Nothing to export: run a query first");

  window->SetSql("SELECT id, name, pic, ok FROM ex_export ORDER BY id");
  ASSERT_TRUE(RunAndWait());
  window->Master()->Last();
  struct Case {
    apps::ExportFormat format;
    const char* text;
  };
  for (const Case& c :
       {Case{apps::ExportFormat::kCsv,
             "id,name,pic,ok\r\n1,\"Zoë \"\"z\"\", and co\",AQID,True\r\n2,,,False\r\n"},
        Case{apps::ExportFormat::kJson,
             "[\n  {\"id\": 1, \"name\": \"Zoë \\\"z\\\", and co\", \"pic\": \"AQID\", "
             "\"ok\": true},\n  {\"id\": 2, \"name\": null, \"pic\": null, \"ok\": false}\n]\n"}}) {
    ASSERT_TRUE(window->ExportResult(c.format, path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QString::fromUtf8(c.text));
    EXPECT_EQ(window->Status(), "2 rows exported to " + path);
    EXPECT_EQ(window->Master()->RecNo(), 2) << "the grid's row stays current";
  }
}

TEST_F(ExplorerToolsTest, HistoryKeepsTheLastStatementsAndStepsThroughThem) {
  MakeTable("ex_hist", 1);
  QTemporaryDir dir;
  const QString file = dir.filePath("tessel/history.json");
  window->UseHistoryFile(file);
  for (const char* sql :
       {"SELECT 1 AS a", "SELECT 2 AS b", "SELECT id FROM ex_hist", "  SELECT 1 AS a\n"}) {
    window->SetSql(sql);
    ASSERT_TRUE(RunAndWait());
  }
  // Run again, a statement moves to the front instead of being listed twice.
  const QStringList expected{"SELECT 1 AS a", "SELECT id FROM ex_hist", "SELECT 2 AS b"};
  EXPECT_EQ(window->History().Items(), expected);

  // Ctrl+Up steps back, Ctrl+Down forward, in the statement editor.
  auto* editor = window->findChild<QPlainTextEdit*>();
  editor->setFocus();
  const auto key = [&](Qt::Key k) {
    QTest::keyClick(editor, k, Qt::ControlModifier);
    return window->Sql();
  };
  EXPECT_EQ(key(Qt::Key_Up), "SELECT 1 AS a");
  EXPECT_EQ(key(Qt::Key_Up), "SELECT id FROM ex_hist");
  EXPECT_EQ(key(Qt::Key_Up), "SELECT 2 AS b");
  EXPECT_EQ(key(Qt::Key_Up), "SELECT 2 AS b") << "the oldest stays";
  EXPECT_EQ(key(Qt::Key_Down), "SELECT id FROM ex_hist");

  // The file outlives the window, readable by its owner only.
  StatementHistory reread;
  QString why;
  ASSERT_TRUE(reread.UseFile(file, why)) << why.toStdString();
  EXPECT_EQ(reread.Items(), expected);
  EXPECT_EQ(QFile(file).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
            QFileDevice::Permissions());

  StatementHistory small(2);
  for (const char* sql : {"a", "b", "", "c"}) small.Add(sql);
  EXPECT_EQ(small.Items(), (QStringList{"c", "b"}));
}

// F5 and Ctrl+Enter run from the editor; Escape stops a running statement
// and otherwise leaves the key to the grid (taking back an inserted row).
TEST_F(ExplorerToolsTest, KeysRunAndCancel) {
  MakeTable("ex_keys", 2);
  // Shortcuts reach the active window only.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  auto* editor = window->findChild<QPlainTextEdit*>();
  editor->setFocus();
  for (const auto& [key, modifiers] :
       {std::pair{Qt::Key_F5, Qt::NoModifier}, std::pair{Qt::Key_Return, Qt::ControlModifier}}) {
    window->SetSql("SELECT id FROM ex_keys");
    window->Master()->Close();
    QSignalSpy finished(window.get(), &ExplorerWindow::Finished);
    QTest::keyClick(editor, key, modifiers);
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(30000));
    EXPECT_EQ(window->Status(), "2 rows read; edits are written to ex_keys (key id)");
    EXPECT_EQ(window->Sql(), "SELECT id FROM ex_keys") << "no line break typed";
  }

  window->SetSql("WAITFOR DELAY '00:10:00'\nSELECT 1 AS one");
  window->Run();
  ASSERT_TRUE(window->Running());
  QTest::qWait(200);
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_FALSE(window->Running());
  EXPECT_EQ(window->Status(), "Cancelled");

  window->SetSql("SELECT id, name FROM ex_keys ORDER BY id");
  ASSERT_TRUE(RunAndWait());
  window->Grid()->setFocus();
  window->Master()->Append();
  ASSERT_EQ(window->Master()->State(), dsInsert);
  QTest::keyClick(window->Grid(), Qt::Key_Escape);
  EXPECT_EQ(window->Master()->State(), dsBrowse);
  EXPECT_EQ(window->Master()->RecordCount(), 2);
}

}  // namespace
}  // namespace tessel::testing
