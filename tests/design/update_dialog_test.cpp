// The update-parameters dialog against the test server: its controls, the
// catalog lists, the stored settings it shows and what OK and Cancel keep.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include <memory>

#include "catalog_fixture.h"
#include "design/lqSQLUpdateDialog.h"
#include "modal.h"

namespace tessel::testing {
namespace {

class UpdateDialogTest : public CatalogDialogTest<TlqSQLUpdateDialog> {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    if (IsSkipped()) return;
    MakeTable("orders", "id int PRIMARY KEY, qty int, note varchar(20)");
    MakeTable("[it's here]", "[my col] int, b int");
    server->Close();
  }

  void Open() {
    dialog = std::make_unique<TlqSQLUpdateDialog>();
    dialog->SetQuery(query);
    dialog->SetUpdateParams(&params);
    dialog->FormShow();
    dialog->show();
  }

  void Store(const std::string& table, const QStringList& keys, const QStringList& fields,
             TUpdateMode mode) {
    params.SetTableName(table);
    for (const QString& key : keys) params.KeyFields()->Add(key.toStdString());
    for (const QString& field : fields) params.UpdateFields()->Add(field.toStdString());
    params.SetUpdateMode(mode);
  }

  TUpdateParams params;
};

TEST_F(UpdateDialogTest, ControlsCaptionsAndCatalogLists) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Form1.Tessel1 Update parameters");
  EXPECT_TRUE(server->Connected());  // logged in to read the catalog
  ExpectLabels(dialog.get(), {{"Label6", "Select table name:", {20, 18}},
                              {"Label2", "UpdateMode", {20, 64}},
                              {"Label4", "Select key fields", {180, 16}},
                              {"Label1", "Select update fields", {332, 16}}});
  EXPECT_EQ(Tables()->geometry(), QRect(20, 32, 145, 21));
  EXPECT_EQ(Mode()->geometry(), QRect(20, 80, 145, 21));
  EXPECT_EQ(Keys()->geometry(), QRect(180, 32, 141, 209));
  EXPECT_EQ(Fields()->geometry(), QRect(328, 32, 137, 209));
  EXPECT_EQ(Keys()->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(Items(Mode()), QStringList({"upWhereAll", "upWhereChanged", "upWhereKeyOnly"}));
  EXPECT_EQ(Mode()->currentText(), "upWhereAll");
  const std::vector<std::tuple<const char*, const char*, QRect>> buttons{
      {"btnOK", "OK", {232, 256, 75, 25}},
      {"btnCancel", "&Cancel", {312, 256, 75, 25}},
      {"Button1", "&Help", {392, 256, 75, 25}}};
  for (const auto& [name, text, place] : buttons) {
    EXPECT_EQ(Control<QPushButton>(dialog.get(), name)->text(), text);
    EXPECT_EQ(Control<QPushButton>(dialog.get(), name)->geometry(), place) << name;
    EXPECT_TRUE(dialog->rect().contains(place)) << name;
  }
  EXPECT_TRUE(Control<QPushButton>(dialog.get(), "btnOK")->isDefault());

  // The user tables by name, nothing chosen yet.
  EXPECT_EQ(Items(Tables()), QStringList({"it's here", "orders"}));
  EXPECT_EQ(Tables()->currentIndex(), -1);
  Choose(Tables(), "orders");
  EXPECT_EQ(Items(Keys()), QStringList({"id", "qty", "note"}));
  EXPECT_EQ(Items(Fields()), QStringList({"id", "qty", "note"}));
  // A name with a quote reaches the catalog statement intact.
  Choose(Tables(), "it's here");
  EXPECT_EQ(Items(Keys()), QStringList({"my col", "b"}));

  Click("btnCancel");
  EXPECT_FALSE(server->Connected());  // closed again, as it was found
}

TEST_F(UpdateDialogTest, ShowsStoredSettingsAndKeyClicksSetTheMode) {
  Store("ORDERS", {"id"}, {"qty", "dropped"}, upWhereKeyOnly);
  Open();
  EXPECT_EQ(Tables()->currentText(), "orders");
  EXPECT_EQ(Selected(Keys()), QStringList({"id"}));
  EXPECT_EQ(Selected(Fields()), QStringList({"qty"}));  // a dropped column is passed over
  EXPECT_EQ(Mode()->currentText(), "upWhereKeyOnly");

  Toggle(Keys(), "id");
  EXPECT_EQ(Mode()->currentText(), "upWhereAll");
  Toggle(Keys(), "note");
  EXPECT_EQ(Mode()->currentText(), "upWhereChanged");
}

TEST_F(UpdateDialogTest, TableWithoutKeysSelectsNoKeyColumn) {
  Store("orders", {}, {"qty"}, upWhereAll);
  Open();
  EXPECT_TRUE(Selected(Keys()).isEmpty());
  EXPECT_EQ(Selected(Fields()), QStringList({"qty"}));
}

TEST_F(UpdateDialogTest, OkStoresTheSelectionCancelKeepsTheSettings) {
  server->Open();  // found connected, left connected
  Store("orders", {"id"}, {"qty"}, upWhereKeyOnly);
  Open();
  Toggle(Fields(), "note");
  Toggle(Keys(), "qty");
  Click("btnCancel");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(Lines(params.UpdateFields()), QStringList({"qty"}));
  EXPECT_EQ(Lines(params.KeyFields()), QStringList({"id"}));
  EXPECT_EQ(params.UpdateMode(), upWhereKeyOnly);
  EXPECT_TRUE(server->Connected());

  Open();
  Choose(Tables(), "it's here");
  Toggle(Keys(), "b");
  Toggle(Fields(), "b");
  Toggle(Fields(), "my col");
  Click("btnOK");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(params.TableName(), "it's here");
  EXPECT_EQ(Lines(params.KeyFields()), QStringList({"b"}));
  EXPECT_EQ(Lines(params.UpdateFields()), QStringList({"my col", "b"}));  // list order
  EXPECT_EQ(params.UpdateMode(), upWhereChanged);
  EXPECT_TRUE(server->Connected());
}

TEST_F(UpdateDialogTest, OkWithoutTableKeepsTheSettingsYetReportsOk) {
  Open();
  Click("btnOK");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(params.TableName(), "");
  EXPECT_EQ(params.UpdateMode(), upWhereChanged);
}

TEST_F(UpdateDialogTest, StoredTableThatIsNotListedIsReported) {
  Store("vanished", {"id"}, {"qty"}, upWhereKeyOnly);
  std::string message;
  AnswerNextMessage(&message);
  Open();
  EXPECT_EQ(message,
            "The table vanished is not among the user tables of this database. "
            "Select a table.");
  EXPECT_EQ(Tables()->currentIndex(), -1);
  EXPECT_EQ(Keys()->count(), 0);
  Click("btnOK");
  EXPECT_EQ(params.TableName(), "vanished");
  EXPECT_EQ(Lines(params.KeyFields()), QStringList({"id"}));
}

TEST_F(UpdateDialogTest, FailedLoginIsShownAndTheDialogStaysUsable) {
  server->SetPassword("not the password");
  std::string message;
  AnswerNextMessage(&message);
  Open();
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(Tables()->count(), 0);
  EXPECT_TRUE(dialog->isVisible());
  Click("btnCancel");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_FALSE(server->Connected());
}

TEST_F(UpdateDialogTest, HelpExplainsTheDialog) {
  Open();
  std::string message;
  AnswerNextMessage(&message);
  Click("Button1");
  EXPECT_NE(message.find("upWhereKeyOnly"), std::string::npos) << message;
  Click("btnCancel");
}

TEST_F(UpdateDialogTest, ExecuteWithoutConnectionComponentRaises) {
  query->SetSQLServer(nullptr);
  TlqSQLUpdateDialog bare;
  bare.SetQuery(query);
  bare.SetUpdateParams(&params);
  ExpectDatabaseError([&] { bare.Execute(); }, "No SQLServer connected to query.");
}

}  // namespace
}  // namespace tessel::testing
