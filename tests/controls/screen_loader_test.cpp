// A screen read from a .ui file and a form file: the data-aware widgets are
// made by the loader and bound by the names in their properties; every name
// that does not resolve is reported with the file and the widget.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "controls/data_check_box.h"
#include "controls/data_combo_boxes.h"
#include "controls/data_date_edits.h"
#include "controls/data_edits.h"
#include "controls/data_grid.h"
#include "controls/data_number_edits.h"
#include "controls/screen_loader.h"
#include "entry_fixture.h"
#include "runtime/published.h"

namespace tessel::testing {
namespace {

using controls::ScreenProblem;

class ScreenLoaderTest : public EntryTest {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }

  // The data module: a server, the entry rows and the customers.
  QString WriteForm() {
    std::string text = "object Entry: TDataModule\n  object S: TSQLServer\n";
    text += "    ServerName = '" + address->Server + "'\n";
    text += "    DataBaseName = '" + address->Database + "'\n";
    text += "    Username = '" + address->User + "'\n";
    text += "    Password = '" + address->Password + "'\n";
    text += "    Connected = True\n  end\n";
    for (const char* name : {"Entry", "Cust"}) {
      text += std::string("  object Q") + name + ": TTessel\n    DataBaseName = S\n";
      text += "    CacheAllRecords = True\n    SQL.Strings = (\n";
      text += std::string("      'SELECT * FROM ctl_") + (name[0] == 'E' ? "entry" : "cust") +
              " ORDER BY id')\n  end\n";
      text +=
          std::string("  object Ds") + name + ": TDataSource\n    DataSet = Q" + name + "\n  end\n";
    }
    text += "end\n";
    return Write("entry.tfm", text);
  }

  QString Write(const QString& name, const std::string& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path;
  }

  // A .ui file of a form layout holding widgets, each given as
  // (class, object name, properties as <property> elements).
  QString WriteUi(const QString& name,
                  const std::vector<std::tuple<std::string, std::string, std::string>>& widgets) {
    std::string text =
        "<ui version=\"4.0\"><class>Screen</class>"
        "<widget class=\"QWidget\" name=\"Screen\">"
        "<layout class=\"QFormLayout\" name=\"layout\">";
    int row = 0;
    for (const auto& [cls, object, properties] : widgets) {
      const std::string r = std::to_string(row++);
      text += "<item row=\"" + r + "\" column=\"0\"><widget class=\"QLabel\" name=\"l" + object +
              "\"><property name=\"text\"><string>" + object +
              "</string></property></widget></item>";
      text += "<item row=\"" + r + "\" column=\"1\"><widget class=\"" + cls + "\" name=\"" +
              object + "\">" + properties + "</widget></item>";
    }
    text += "</layout></widget></ui>\n";
    return Write(name, text);
  }

  static std::string Property(const std::string& name, const std::string& value) {
    return "<property name=\"" + name + "\"><string>" + value + "</string></property>";
  }
  static std::string Bound(const std::string& source, const std::string& field) {
    return Property("dataSource", source) + Property("dataField", field);
  }

  QTemporaryDir dir;
};

TEST_F(ScreenLoaderTest, BindsEachDataAwareWidgetByItsNames) {
  MakeEntry();
  const std::string colors =
      "<item><property name=\"text\"><string>red</string></property></item>"
      "<item><property name=\"text\"><string>green</string></property></item>";
  const QString ui = WriteUi(
      "entry.ui",
      {{"tessel::controls::DataNavigator", "navigator", Property("dataSource", "DsEntry")},
       {"tessel::controls::DataLabel", "label", Bound("DsEntry", "id")},
       {"tessel::controls::DataLineEdit", "note", Bound("DsEntry", "note")},
       {"tessel::controls::DataCheckBox", "flag", Bound("DsEntry", "flag")},
       {"tessel::controls::DataCheckBox", "yn",
        Bound("DsEntry", "yn") + Property("valueChecked", "Y") + Property("valueUnchecked", "N")},
       {"tessel::controls::DataComboBox", "color", Bound("DsEntry", "color") + colors},
       {"DataLookupComboBox", "cust",  // the namespace may be left out
        Bound("DsEntry", "cust") + Property("listSource", "DsCust") + Property("keyField", "id") +
            Property("listField", "name")},
       {"tessel::controls::DataDateEdit", "born", Bound("DsEntry", "born")},
       {"tessel::controls::DataDateTimeEdit", "seen", Bound("DsEntry", "seen")},
       {"tessel::controls::DataSpinBox", "qty", Bound("DsEntry", "qty")},
       {"tessel::controls::DataDecimalEdit", "price", Bound("DsEntry", "price")},
       {"tessel::controls::DataMemo", "memo", Bound("DsEntry", "note")},
       {"tessel::controls::DataGrid", "grid", Property("dataSource", "DsEntry")}});
  auto screen = controls::LoadScreen(ui, WriteForm());
  for (const ScreenProblem& problem : screen->Problems())
    ADD_FAILURE() << problem.Message().toStdString();
  QWidget* w = screen->Widget();
  EXPECT_EQ(w->findChild<controls::DataLabel*>("label")->text(), "1");
  EXPECT_EQ(w->findChild<controls::DataLineEdit*>("note")->text(), "a <b>note</b>");
  EXPECT_EQ(w->findChild<controls::DataCheckBox*>("yn")->checkState(), Qt::Checked);
  EXPECT_EQ(w->findChild<controls::DataComboBox*>("color")->currentText(), "green");
  EXPECT_EQ(w->findChild<controls::DataLookupComboBox*>("cust")->currentText(), "Beta");
  EXPECT_EQ(w->findChild<controls::DataDecimalEdit*>("price")->text(), "10.50");
  EXPECT_EQ(w->findChild<controls::DataGrid*>("grid")->Model()->rowCount(), 2);

  // Under a display (xvfb-run), a picture of the screen for a person to look at.
  if (const char* picture = std::getenv("TESSEL_SCREEN_PICTURE")) {
    w->resize(520, 720);
    w->show();
    QTest::qWait(200);
    EXPECT_TRUE(w->grab().save(picture));
  }
}

TEST_F(ScreenLoaderTest, ReportsEveryNameThatDoesNotResolve) {
  MakeEntry();
  const QString ui = WriteUi(
      "bad.ui", {{"NoSuchWidget", "mystery", ""},
                 {"tessel::controls::DataLineEdit", "good", Bound("DsEntry", "note")},
                 {"tessel::controls::DataLineEdit", "lost", Bound("DsNowhere", "note")},
                 {"tessel::controls::DataSpinBox", "typo", Bound("DsEntry", "qtty")},
                 {"tessel::controls::DataSpinBox", "unset", Property("dataSource", "DsEntry")},
                 {"tessel::controls::DataLookupComboBox", "picker",
                  Bound("DsEntry", "cust") + Property("listSource", "DsCust") +
                      Property("keyField", "id") + Property("listField", "title")}});
  auto screen = controls::LoadScreen(ui, WriteForm());
  struct Expected {
    ScreenProblem::Kind kind;
    QString widget;
    QString name;
  };
  const Expected expected[] = {
      {ScreenProblem::Kind::Widget, "mystery", "NoSuchWidget"},
      {ScreenProblem::Kind::DataSource, "lost", "DsNowhere"},
      {ScreenProblem::Kind::Field, "typo", "qtty"},
      {ScreenProblem::Kind::Field, "unset", ""},
      {ScreenProblem::Kind::Field, "picker", "title"},
  };
  const auto& problems = screen->Problems();
  ASSERT_EQ(problems.size(), std::size(expected));
  for (size_t i = 0; i < problems.size(); ++i) {
    SCOPED_TRACE(problems[i].Message().toStdString());
    EXPECT_EQ(problems[i].kind, expected[i].kind);
    EXPECT_EQ(problems[i].widget, expected[i].widget);
    EXPECT_EQ(problems[i].name, expected[i].name);
    EXPECT_EQ(problems[i].file, ui);
    EXPECT_TRUE(problems[i].Message().contains(ui + ": widget '" + expected[i].widget + "'"));
  }
  // What did resolve is bound; what did not is left alone.
  QWidget* w = screen->Widget();
  EXPECT_EQ(w->findChild<controls::DataLineEdit*>("good")->text(), "a <b>note</b>");
  EXPECT_EQ(w->findChild<controls::DataLineEdit*>("lost")->DataSource(), nullptr);
  EXPECT_EQ(w->findChild<controls::DataSpinBox*>("typo")->DataSource(), nullptr);
  EXPECT_EQ(w->findChild<controls::DataLookupComboBox*>("picker")->ListSource(), nullptr);
}

TEST_F(ScreenLoaderTest, AFileThatCannotBeReadRaises) {
  MakeEntry();
  const QString form = WriteForm();
  EXPECT_THROW(controls::LoadScreen(dir.filePath("missing.ui"), form), EFormError);
  EXPECT_THROW(controls::LoadScreen(form, dir.filePath("missing.tfm")), EFormError);
}

}  // namespace
}  // namespace tessel::testing
