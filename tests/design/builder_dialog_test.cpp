// The SQL builder against the test server: its pages and controls, the
// statements it generates for the chosen columns, what OK stores and what
// Cancel keeps.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "catalog_fixture.h"
#include "design/lqSQLBDialog.h"
#include "modal.h"

namespace tessel::testing {
namespace {

class BuilderDialogTest : public CatalogDialogTest<TlqSQLBuildDialog> {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    if (IsSkipped()) return;
    MakeTable("orders", "id int PRIMARY KEY, qty int, note varchar(20)");
    server->Close();
    update = new TSQLUpdate(&form);
    update->SetName("SQLUpdate1");
    query->SetUpdateObject(update);
    update->ModifySQL()->SetText("update orders set qty=:qty where id=:OLD_id");
  }

  void Open() {
    dialog = std::make_unique<TlqSQLBuildDialog>();
    dialog->SetUpdateObject(update);
    dialog->FormShow();
    dialog->show();
  }

  QTabWidget* Pages() { return Control<QTabWidget>(dialog.get(), "PageControl"); }
  QString Memo(const char* name) {
    return Control<QPlainTextEdit>(dialog.get(), name)->toPlainText();
  }

  TSQLUpdate* update = nullptr;
};

TEST_F(BuilderDialogTest, PagesControlsAndStoredTexts) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Form1.SQLUpdate1 SQL Builder");
  EXPECT_EQ(Pages()->geometry(), QRect(8, 12, 481, 269));
  QStringList tabs;
  for (int i = 0; i < Pages()->count(); ++i) tabs << Pages()->tabText(i);
  EXPECT_EQ(tabs, QStringList({"SQL Generation", "InsertSQL", "ModifySQL", "DeleteSQL"}));
  EXPECT_EQ(Pages()->currentWidget()->objectName(), "Generate");
  ExpectLabels(dialog.get(), {{"Label6", "Select table name:", {12, 6}},
                              {"Label2", "UpdateMode", {12, 52}},
                              {"Label5", "Select key fields:", {172, 6}},
                              {"Label1", "Select update fields:", {320, 6}}});
  EXPECT_EQ(Tables()->geometry(), QRect(12, 20, 145, 21));
  EXPECT_EQ(Mode()->geometry(), QRect(12, 68, 145, 21));
  EXPECT_EQ(Keys()->geometry(), QRect(172, 20, 141, 209));
  EXPECT_EQ(Fields()->geometry(), QRect(320, 20, 137, 209));
  EXPECT_EQ(Items(Mode()), QStringList({"upWhereAll", "upWhereKeyOnly"}));
  EXPECT_EQ(Mode()->currentText(), "upWhereAll");
  auto* generate = Control<QPushButton>(dialog.get(), "GenerateButton");
  EXPECT_EQ(generate->text(), "&Generate SQL");
  EXPECT_EQ(generate->geometry(), QRect(12, 104, 145, 25));
  EXPECT_FALSE(generate->isEnabled());  // no table chosen yet
  for (const char* memo : {"Memo1", "Memo2", "Memo3"}) {
    EXPECT_EQ(Control<QPlainTextEdit>(dialog.get(), memo)->geometry(), QRect(8, 24, 457, 205));
  }
  EXPECT_EQ(Memo("Memo2"), "update orders set qty=:qty where id=:OLD_id\n");
  EXPECT_EQ(Memo("Memo1"), "");
  EXPECT_EQ(Control<QPushButton>(dialog.get(), "btnOK")->geometry(), QRect(312, 292, 75, 25));
  EXPECT_TRUE(Control<QPushButton>(dialog.get(), "btnOK")->isDefault());
  EXPECT_EQ(Control<QPushButton>(dialog.get(), "btnCancel")->text(), "&Cancel");
  EXPECT_EQ(Control<QPushButton>(dialog.get(), "btnCancel")->geometry(), QRect(396, 292, 75, 25));
  EXPECT_TRUE(dialog->rect().contains(QRect(396, 292, 75, 25)));

  EXPECT_TRUE(Items(Tables()).contains("orders"));
  Choose(Tables(), "orders");
  EXPECT_EQ(Items(Keys()), QStringList({"id", "qty", "note"}));
  EXPECT_EQ(Items(Fields()), QStringList({"id", "qty", "note"}));
  EXPECT_TRUE(generate->isEnabled());
}

TEST_F(BuilderDialogTest, GeneratesAndStoresTheStatements) {
  Open();
  Choose(Tables(), "orders");
  Toggle(Fields(), "id");
  Toggle(Fields(), "qty");
  Toggle(Keys(), "id");
  EXPECT_EQ(Mode()->currentText(), "upWhereKeyOnly");
  Click("GenerateButton");
  EXPECT_EQ(Pages()->currentWidget()->objectName(), "TInsertSQL");
  EXPECT_EQ(Memo("Memo1"), "insert into orders (id\n, qty)\nValues(:id\n, :qty)");
  EXPECT_EQ(Memo("Memo2"), "update orders set id=:id\n, qty=:qty\nwhere \nid=:OLD_id\n");
  EXPECT_EQ(Memo("Memo3"), "delete from orders\nwhere \nid=:OLD_id\n");
  // The designer's own change after generating is stored as typed.
  auto* memo3 = Control<QPlainTextEdit>(dialog.get(), "Memo3");
  memo3->moveCursor(QTextCursor::End);
  QTest::keyClicks(memo3, "and 1=1");

  Click("btnOK");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(Lines(update->InsertSQL()),
            QStringList({"insert into orders (id", ", qty)", "Values(:id", ", :qty)"}));
  EXPECT_EQ(Lines(update->ModifySQL()),
            QStringList({"update orders set id=:id", ", qty=:qty", "where ", "id=:OLD_id"}));
  EXPECT_EQ(Lines(update->DeleteSQL()),
            QStringList({"delete from orders", "where ", "id=:OLD_id", "and 1=1"}));
  EXPECT_FALSE(server->Connected());
}

TEST_F(BuilderDialogTest, KeyClicksSetTheModeBothWays) {
  Open();
  Choose(Tables(), "orders");
  Toggle(Keys(), "id");
  Toggle(Keys(), "note");
  EXPECT_EQ(Mode()->currentText(), "upWhereKeyOnly");
  Toggle(Keys(), "id");
  EXPECT_EQ(Mode()->currentText(), "upWhereKeyOnly");
  Toggle(Keys(), "note");
  EXPECT_EQ(Mode()->currentText(), "upWhereAll");
}

TEST_F(BuilderDialogTest, NothingSelectedIsExplainedNotGenerated) {
  Open();
  Choose(Tables(), "orders");
  std::string message;
  AnswerNextMessage(&message);
  Click("GenerateButton");
  EXPECT_EQ(message,
            "Select at least one update field: upWhereAll finds the row by all update fields.");
  EXPECT_EQ(Memo("Memo2"), "update orders set qty=:qty where id=:OLD_id\n");
  EXPECT_EQ(Memo("Memo3"), "");
  EXPECT_EQ(Pages()->currentWidget()->objectName(), "Generate");
}

TEST_F(BuilderDialogTest, CancelKeepsTheTextsAndTheConnectionState) {
  server->Open();
  Open();
  Choose(Tables(), "orders");
  Toggle(Fields(), "qty");
  Click("GenerateButton");
  Click("btnCancel");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(Lines(update->ModifySQL()),
            QStringList({"update orders set qty=:qty where id=:OLD_id"}));
  EXPECT_EQ(update->InsertSQL()->Count(), 0);
  EXPECT_TRUE(server->Connected());
}

TEST_F(BuilderDialogTest, FailedLoginIsShownAndTextsCanStillBeWritten) {
  server->SetPassword("not the password");
  std::string message;
  AnswerNextMessage(&message);
  Open();
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(Tables()->count(), 0);
  auto* memo1 = Control<QPlainTextEdit>(dialog.get(), "Memo1");
  QTest::keyClicks(memo1, "insert into orders (id) values (:id)");
  Click("btnOK");
  EXPECT_EQ(Lines(update->InsertSQL()), QStringList({"insert into orders (id) values (:id)"}));
  EXPECT_FALSE(server->Connected());
}

TEST_F(BuilderDialogTest, ExecuteNeedsAQueryWithAConnection) {
  TlqSQLBuildDialog bare;
  bare.SetUpdateObject(update);
  query->SetSQLServer(nullptr);
  ExpectDatabaseError([&] { bare.Execute(); }, "No SQLServer connected to query.");
  query->SetUpdateObject(nullptr);
  ExpectDatabaseError([&] { bare.Execute(); }, "Not assigned to any Tessel component.");
}

}  // namespace
}  // namespace tessel::testing
