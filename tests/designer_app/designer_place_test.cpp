// Designing a form: placing components from the palette, setting their
// properties through the property panel's controls, saving, and getting the same
// components and values back from the file.

#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "designer_fixture.h"
#include "framework/string_list.h"
#include "modal.h"
#include "runtime/Tessel.h"
#include "strings_dialog.h"

namespace tessel::testing {
namespace {

TEST_F(DesignerTest, PaletteShowsTheTesselPageFirst) {
  designer::Palette* palette = window->ComponentPalette();
  ASSERT_GE(palette->count(), 1);
  EXPECT_EQ(palette->tabText(0), "Tessel");
  for (const char* name : {"TSQLServer", "TTessel", "TSQLUpdate"}) {
    EXPECT_NE(palette->Button(name), nullptr) << name;
  }
}

TEST_F(DesignerTest, PlacesComponentsWithUniqueNamesWhereClicked) {
  // A click arms the class, a click on the form places it there.
  QTest::mouseClick(window->ComponentPalette()->Button("TSQLServer"), Qt::LeftButton);
  QTest::mouseClick(window->Canvas(), Qt::LeftButton, {}, QPoint(300, 200));
  Settle();
  ASSERT_EQ(Document().Components().size(), 1U);
  TComponent* server = Document().Components()[0];
  EXPECT_NE(dynamic_cast<TSQLServer*>(server), nullptr);
  EXPECT_EQ(server->Name(), "SQLServer1");
  EXPECT_TRUE(window->Canvas()->Icon(server)->geometry().contains(QPoint(300, 200)));
  // Placing disarms the palette: the next click on the form only selects.
  EXPECT_FALSE(window->ComponentPalette()->Button("TSQLServer")->isChecked());
  QTest::mouseClick(window->Canvas(), Qt::LeftButton, {}, QPoint(20, 300));
  Settle();
  EXPECT_EQ(Document().Components().size(), 1U);
  EXPECT_EQ(Document().Selected(), nullptr);

  TComponent* first = PlaceFromPalette("TTessel");
  TComponent* second = PlaceFromPalette("TTessel");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Name(), "Tessel1");
  EXPECT_EQ(second->Name(), "Tessel2");
  EXPECT_EQ(Document().Components().size(), 3U);
  // Icons do not land on each other.
  EXPECT_FALSE(window->Canvas()->Icon(first)->geometry().intersects(
      window->Canvas()->Icon(second)->geometry()));
  // A name freed by a rename is taken again.
  Select(first);
  Type("Name", "Orders");
  EXPECT_EQ(first->Name(), "Orders");
  EXPECT_EQ(PlaceFromPalette("TTessel")->Name(), "Tessel1");
  EXPECT_TRUE(Document().IsModified());
  EXPECT_TRUE(window->windowTitle().startsWith("Untitled*"));
}

TEST_F(DesignerTest, PropertiesSetInThePropertyPanelSurviveSaveAndReopen) {
  if (IsSkipped()) return;
  auto* server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
  auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  auto* other = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  auto* update = dynamic_cast<TSQLUpdate*>(PlaceFromPalette("TSQLUpdate"));
  ASSERT_TRUE(server && query && other && update);

  Select(server);
  Type("ServerName", address->Server);
  Type("Username", address->User);
  Type("Password", address->Password);
  Type("DataBaseName", address->Database);
  Type("ServerTimeout", "15");
  Check("KeepConnections");

  Select(query);
  // The reference lists the form's servers only.
  EXPECT_EQ(Items(Editor<QComboBox>("DataBaseName")), (QStringList{"", "SQLServer1"}));
  EXPECT_EQ(Items(Editor<QComboBox>("UpdateObject")), (QStringList{"", "SQLUpdate1"}));
  Choose("DataBaseName", "SQLServer1");
  Check("Options.LocalEdit");
  ASSERT_TRUE(query->Options().Contains(LocalEdit));
  // An update object ends local editing: the property panel shows what the
  // setter did to the other property.
  Choose("UpdateObject", "SQLUpdate1");
  EXPECT_FALSE(Editor<QCheckBox>("Options.LocalEdit")->isChecked());
  OnModal<designer::StringsDialog>([](designer::StringsDialog* dialog) {
    dialog->Editor()->setPlainText("SELECT id, name\nFROM dsg_parts\nWHERE id > :low");
    dialog->accept();
  });
  QTest::mouseClick(Ellipsis("SQL"), Qt::LeftButton);
  Settle();
  Check("CacheAllRecords");
  Type("MaxTimeSlice", "70");
  // A query with an update object has no generated-update settings.
  EXPECT_EQ(Properties().Row("UpdateParams.TableName"), nullptr);

  Select(other);
  Check("Options.LocalEdit");
  Type("UpdateParams.TableName", "dsg_parts");
  Choose("UpdateParams.UpdateMode", "upWhereKeyOnly");
  ASSERT_NE(Editor<QComboBox>("UpdateParams.UpdateMode"), nullptr);
  EXPECT_EQ(Editor<QComboBox>("UpdateParams.UpdateMode")->currentText(), "upWhereKeyOnly");
  Select(query);

  EXPECT_EQ(server->ServerName(), address->Server);
  EXPECT_EQ(query->DataBaseName(), server);
  EXPECT_EQ(query->SQL()->Count(), 3);
  EXPECT_TRUE(Document().IsModified());
  // What the property panel shows after its rebuild is the component's state.
  EXPECT_EQ(Editor<QComboBox>("DataBaseName")->currentText(), "SQLServer1");
  EXPECT_TRUE(Editor<QCheckBox>("CacheAllRecords")->isChecked());
  EXPECT_EQ(Editor<QLineEdit>("MaxTimeSlice")->text(), "70");

  const QString file = TempForm("designed");
  ASSERT_TRUE(SaveWithPassword(file));
  EXPECT_FALSE(Document().IsModified());
  EXPECT_TRUE(window->windowTitle().startsWith("designed.tfm -"));

  designer::DesignerWindow reopened;
  ASSERT_TRUE(reopened.OpenForm(file));
  const std::vector<TComponent*> read = reopened.Document().Components();
  ASSERT_EQ(read.size(), 4U);
  EXPECT_EQ(read[0]->Name(), "SQLServer1");
  EXPECT_EQ(read[1]->Name(), "Tessel1");
  EXPECT_EQ(read[2]->Name(), "Tessel2");
  EXPECT_EQ(read[3]->Name(), "SQLUpdate1");
  auto* server2 = dynamic_cast<TSQLServer*>(read[0]);
  auto* query2 = dynamic_cast<TTessel*>(read[1]);
  ASSERT_TRUE(server2 && query2 && dynamic_cast<TSQLUpdate*>(read[3]));
  EXPECT_EQ(server2->ServerName(), address->Server);
  EXPECT_EQ(server2->Username(), address->User);
  EXPECT_EQ(server2->Password(), address->Password);
  EXPECT_EQ(server2->DataBaseName(), address->Database);
  EXPECT_EQ(server2->ServerTimeout(), 15);
  EXPECT_TRUE(server2->KeepConnections());
  EXPECT_EQ(query2->DataBaseName(), server2);
  EXPECT_EQ(query2->UpdateObject(), read[3]);
  EXPECT_EQ(query2->SQL()->Text(), "SELECT id, name\nFROM dsg_parts\nWHERE id > :low\n");
  EXPECT_NE(query2->Params()->FindParam("low"), nullptr);
  EXPECT_TRUE(query2->CacheAllRecords());
  auto* other2 = dynamic_cast<TTessel*>(read[2]);
  ASSERT_TRUE(other2 != nullptr && other2->UpdateParams() != nullptr);
  EXPECT_EQ(other2->UpdateParams()->TableName(), "dsg_parts");
  EXPECT_EQ(other2->UpdateParams()->UpdateMode(), upWhereKeyOnly);
  EXPECT_TRUE(other2->Options().Contains(LocalEdit));
  EXPECT_EQ(query2->MaxTimeSlice(), 70);
  EXPECT_FALSE(reopened.Document().IsModified());
  // Components read from a file are being designed, as placed ones are.
  EXPECT_TRUE(query2->ComponentState().Contains(csDesigning));
}

TEST_F(DesignerTest, RefusedValuesAreReportedAndLeaveTheProperty) {
  auto* server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
  auto* query = PlaceFromPalette("TTessel");
  ASSERT_TRUE(server && query);
  ASSERT_TRUE(window->SaveForm(TempForm("refused")));

  Select(server);
  std::string message;
  AnswerNextMessage(&message);
  Type("ServerTimeout", "soon");
  EXPECT_NE(message.find("soon"), std::string::npos) << message;
  EXPECT_EQ(server->ServerTimeout(), 30);
  EXPECT_EQ(Editor<QLineEdit>("ServerTimeout")->text(), "30");

  // A name another component has.
  Select(query);
  message.clear();
  AnswerNextMessage(&message);
  Type("Name", "SQLServer1");
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(query->Name(), "Tessel1");
  EXPECT_EQ(Editor<QLineEdit>("Name")->text(), "Tessel1");
  EXPECT_FALSE(Document().IsModified());
}

TEST_F(DesignerTest, DeletingAComponentClearsReferencesToIt) {
  auto* server = PlaceFromPalette("TSQLServer");
  auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  ASSERT_TRUE(server && query);
  Choose("DataBaseName", "SQLServer1");
  ASSERT_EQ(query->DataBaseName(), server);

  Select(server);
  // In use: the user is asked first.
  std::string asked;
  OnModal<QMessageBox>([&](QMessageBox* box) {
    asked = box->text().toStdString();
    box->button(QMessageBox::Yes)->click();
  });
  QTest::keyClick(window->Canvas(), Qt::Key_Delete);
  Settle();
  EXPECT_NE(asked.find("Tessel1.DataBaseName"), std::string::npos) << asked;
  EXPECT_EQ(Document().Components().size(), 1U);
  EXPECT_EQ(Document().Selected(), nullptr);
  EXPECT_EQ(query->DataBaseName(), nullptr);
  Select(query);
  EXPECT_EQ(Items(Editor<QComboBox>("DataBaseName")), (QStringList{""}));
  // The form is still whole: it saves without a reference to the server.
  const QString file = TempForm("deleted");
  ASSERT_TRUE(window->SaveForm(file));
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_FALSE(saved.readAll().contains("SQLServer1"));
}

TEST_F(DesignerTest, AFileThatCannotBeReadLeavesTheFormAsItWas) {
  PlaceFromPalette("TTessel");
  const QString file = TempForm("broken");
  QFile broken(file);
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("object DataModule1: TDataModule\n  object Q: TNoSuchClass\n  end\nend\n");
  broken.close();

  std::string message;
  AnswerNextMessage(&message);
  EXPECT_FALSE(window->OpenForm(file));
  EXPECT_NE(message.find("broken.tfm:2"), std::string::npos) << message;
  ASSERT_EQ(Document().Components().size(), 1U);
  EXPECT_EQ(Document().Components()[0]->Name(), "Tessel1");
  EXPECT_TRUE(Document().FileName().isEmpty());
}

}  // namespace
}  // namespace tessel::testing
