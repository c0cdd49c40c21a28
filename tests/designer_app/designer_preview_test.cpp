// The preview runs a copy of the form: the chosen query opens live against
// the server and its rows appear in the grid, while the designed components
// stay closed.

#include <QComboBox>
#include <QToolButton>

#include "controls/data_grid.h"
#include "controls/data_navigator.h"
#include "designer_fixture.h"
#include "framework/string_list.h"
#include "preview_panel.h"
#include "runtime/Tessel.h"

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

}  // namespace
}  // namespace tessel::testing
