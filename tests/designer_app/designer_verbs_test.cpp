// The component editor's verbs in the context menu and on double-click, and
// the registered dialogs behind the property panel's ellipsis buttons.

#include <QDialog>
#include <QLabel>
#include <QMenu>

#include "design/lqSQLBDialog.h"
#include "design/lqSQLPDialog.h"
#include "designer_fixture.h"
#include "modal.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

QStringList ActionTexts(const QMenu& menu) {
  QStringList texts;
  for (QAction* action : menu.actions()) texts << action->text();
  return texts;
}

TEST_F(DesignerTest, ContextMenuListsTheVerbsAndRunsThem) {
  TComponent* update = PlaceFromPalette("TSQLUpdate");
  ASSERT_NE(update, nullptr);
  const std::unique_ptr<QMenu> menu = window->Canvas()->ContextMenu(update);
  ASSERT_EQ(ActionTexts(*menu), (QStringList{"SQL&Update editor...", "", "&Delete"}));

  // No query uses the update object: the verb says so and opens nothing.
  std::string message;
  AnswerNextMessage(&message);
  menu->actions()[0]->trigger();
  EXPECT_EQ(message, "Not assigned to any Tessel");
  // A double click runs the same verb.
  message.clear();
  AnswerNextMessage(&message);
  QTest::mouseDClick(window->Canvas()->Icon(update), Qt::LeftButton);
  EXPECT_EQ(message, "Not assigned to any Tessel");

  // A query without a connection component.
  TComponent* query = PlaceFromPalette("TTessel");
  Choose("UpdateObject", "SQLUpdate1");
  message.clear();
  AnswerNextMessage(&message);
  window->Canvas()->Edit(update);
  EXPECT_EQ(message, "DataBaseName property missing");

  // Delete in the menu removes the component.
  window->Canvas()->ContextMenu(query)->actions().back()->trigger();
  Settle();
  EXPECT_EQ(Document().Components(), (std::vector<TComponent*>{update}));
}

TEST_F(DesignerTest, VerbOpensTheSqlBuilderOnAServedUpdateObject) {
  if (IsSkipped()) return;
  auto* server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
  ASSERT_NE(server, nullptr);
  server->SetServerName(address->Server);
  server->SetUsername(address->User);
  server->SetPassword(address->Password);
  server->SetDataBaseName(address->Database);
  TComponent* update = PlaceFromPalette("TSQLUpdate");
  PlaceFromPalette("TTessel");
  Choose("DataBaseName", "SQLServer1");
  Choose("UpdateObject", "SQLUpdate1");
  ASSERT_TRUE(SaveWithPassword(TempForm("verb")));

  bool opened = false;
  OnModal<TlqSQLBuildDialog>([&](TlqSQLBuildDialog* dialog) {
    opened = true;
    dialog->reject();
  });
  QTest::mouseDClick(window->Canvas()->Icon(update), Qt::LeftButton);
  EXPECT_TRUE(opened);
  // Cancelled: the form is as it was.
  EXPECT_FALSE(Document().IsModified());
}

TEST_F(DesignerTest, EllipsisOpensTheRegisteredParametersDialog) {
  PlaceFromPalette("TTessel");
  QWidget* params = Properties().Editor("Params");
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(params->findChild<QLabel*>("value")->text(), "(TParams)");
  bool opened = false;
  OnModal<TlqParamsDialog>([&](TlqParamsDialog* dialog) {
    opened = true;
    dialog->reject();
  });
  QTest::mouseClick(Ellipsis("Params"), Qt::LeftButton);
  EXPECT_TRUE(opened);
  EXPECT_EQ(Properties().Editor("UpdateParams")->findChild<QLabel*>("value")->text(),
            "(TUpdateParams)");
}

}  // namespace
}  // namespace tessel::testing
