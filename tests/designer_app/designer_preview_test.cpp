// The preview runs a copy of the form: the chosen query opens live against
// the server and its rows appear in the grid, while the designed components
// stay closed.

#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <optional>

#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "designer_fixture.h"
#include "elided_label.h"
#include "framework/string_list.h"
#include "modal.h"
#include "preview_panel.h"
#include "runtime/Tessel.h"
#include "statement_kind.h"

namespace tessel::testing {
namespace {

class PreviewTest : public DesignerTest {
 protected:
  void SetUp() override {
    DesignerTest::SetUp();
    if (IsSkipped()) return;
    server->Open();
    server->InternalExecute("IF OBJECT_ID('dsg_parts') IS NOT NULL DROP TABLE dsg_parts");
    server->InternalExecute("CREATE TABLE dsg_parts (id int PRIMARY KEY, name varchar(20))");
    server->InternalExecute("INSERT INTO dsg_parts VALUES (1, 'bolt')");
    server->InternalExecute("INSERT INTO dsg_parts VALUES (2, 'nut')");
    server->InternalExecute("INSERT INTO dsg_parts VALUES (3, 'washer')");
    designed_server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
    designed_server->SetServerName(address->Server);
    designed_server->SetUsername(address->User);
    designed_server->SetPassword(address->Password);
    designed_server->SetDataBaseName(address->Database);
  }
  TTessel* AddQuery(const std::string& sql) {
    auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
    Choose("DataBaseName", "SQLServer1");
    query->SQL()->SetText(sql);
    Document().Modified();
    Settle();
    return query;
  }

  TSQLServer* designed_server = nullptr;
};

TEST_F(PreviewTest, OpensTheChosenQueryAndShowsItsRows) {
  if (IsSkipped()) return;
  TTessel* parts = AddQuery("SELECT id, name FROM dsg_parts ORDER BY id");
  AddQuery("SELECT name FROM dsg_parts WHERE id = 2");
  designer::PreviewPanel* preview = window->Preview();
  EXPECT_EQ(Items(preview->QueryList()), (QStringList{"Tessel1", "Tessel2"}));

  ASSERT_TRUE(window->ShowPreview("Tessel1")) << preview->Status().toStdString();
  EXPECT_TRUE(preview->isVisible());
  const controls::DataGridModel* model = preview->Grid()->Model();
  ASSERT_EQ(model->columnCount(), 2);
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), "bolt");
  EXPECT_EQ(model->data(model->index(2, 1)).toString(), "washer");
  using controls::NavigateButton;
  EXPECT_FALSE(preview->Navigator()->Button(NavigateButton::Post)->isEnabled());
  EXPECT_TRUE(preview->Navigator()->Button(NavigateButton::Next)->isEnabled());
  // The preview runs a copy: the designed components stay closed.
  EXPECT_FALSE(parts->Active());
  EXPECT_FALSE(designed_server->Connected());
  EXPECT_NE(preview->Query(), parts);

  // Another query replaces the first.
  ASSERT_TRUE(window->ShowPreview("Tessel2"));
  EXPECT_EQ(preview->Grid()->Model()->rowCount(), 1);
  EXPECT_EQ(model->data(model->index(0, 0)).toString(), "nut");
}

TEST_F(PreviewTest, AFailingQueryIsReportedInThePreview) {
  if (IsSkipped()) return;
  AddQuery("SELECT id FROM dsg_no_such_table");
  EXPECT_FALSE(window->ShowPreview("Tessel1"));
  EXPECT_TRUE(window->Preview()->Status().contains("dsg_no_such_table"))
      << window->Preview()->Status().toStdString();
  EXPECT_EQ(window->Preview()->Query(), nullptr);
  EXPECT_EQ(window->Preview()->Grid()->Model()->rowCount(), 0);
}

TEST_F(PreviewTest, ALongErrorKeepsTheNavigatorAndTheWindowTheirSize) {
  if (IsSkipped()) return;
  AddQuery("SELECT id FROM dsg_parts");
  ASSERT_TRUE(window->ShowPreview("Tessel1"));
  Settle();
  designer::PreviewPanel* preview = window->Preview();
  const int navigator_width = preview->Navigator()->width();
  const int window_width = window->width();
  const std::string table = "dsg_" + std::string(300, 'x');
  auto* query = dynamic_cast<TTessel*>(Named("Tessel1"));
  query->SQL()->SetText("SELECT id FROM " + table);
  Document().Modified();
  EXPECT_FALSE(window->ShowPreview("Tessel1"));
  Settle();
  EXPECT_EQ(preview->Navigator()->width(), navigator_width);
  EXPECT_EQ(window->width(), window_width);
  // All of it on demand.
  EXPECT_TRUE(preview->Status().contains(QString::fromStdString(table)));
  EXPECT_TRUE(preview->DetailsButton()->isVisible());
  std::string shown;
  AnswerNextMessage(&shown);
  QTest::mouseClick(preview->DetailsButton(), Qt::LeftButton);
  EXPECT_NE(shown.find(table), std::string::npos);
}

TEST_F(PreviewTest, SQLThatChangesDataRunsOnlyWhenTheUserSaysSo) {
  if (IsSkipped()) return;
  Select(AddQuery("UPDATE dsg_parts SET name = 'changed' WHERE id = 1"));
  const auto names = [this] {
    return Rows(server->GetBaseProcess(), "SELECT name FROM dsg_parts WHERE id = 1");
  };
  // Run > Preview (F9) runs the selected query; the user declines.
  std::string asked;
  OnModal<QMessageBox>([&](QMessageBox* box) {
    asked = box->text().toStdString();
    box->button(QMessageBox::No)->click();
  });
  Action("preview")->trigger();
  EXPECT_NE(asked.find("UPDATE"), std::string::npos) << asked;
  EXPECT_EQ(names(), std::vector<std::string>{"bolt"});
  EXPECT_TRUE(window->Preview()->Status().contains("not run"));
  EXPECT_EQ(window->Preview()->Query(), nullptr);

  // Accepted: it runs, and a result without rows offers nothing to edit.
  OnModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(window->PreviewChosen());
  EXPECT_EQ(names(), std::vector<std::string>{"changed"});
  EXPECT_TRUE(window->Preview()->Status().contains("1 row(s) affected"))
      << window->Preview()->Status().toStdString();
  EXPECT_EQ(window->Preview()->Navigator()->DataSource(), nullptr);
}

TEST(StatementKind, TellsSQLThatOnlyReadsFromSQLThatMayChangeData) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"", std::nullopt},
      {"SELECT id, name FROM parts ORDER BY id", std::nullopt},
      {"select 'DELETE me' AS note -- update later", std::nullopt},
      {"/* drop */ SELECT [update], \"insert\" FROM t", std::nullopt},
      {"WITH c AS (SELECT 1 AS a) SELECT a FROM c;", std::nullopt},
      {"(SELECT 1) UNION (SELECT 2)", std::nullopt},
      {"UPDATE parts SET name = 'x'", "UPDATE"},
      {"SELECT * INTO parts_copy FROM parts", "INTO"},
      {"SELECT 1; DROP TABLE parts", "DROP"},
      {"exec sp_who", "EXEC"},
      {"sp_rename 'a', 'b'", "SP_RENAME"},
      {"SET NOCOUNT ON SELECT 1", "SET"},
      {"WITH c AS (SELECT 1 AS a) DELETE FROM c", "DELETE"},
  };
  for (const auto& [sql, word] : cases) {
    EXPECT_EQ(designer::DataChangingWord(sql), word) << sql;
  }
}

}  // namespace
}  // namespace tessel::testing
