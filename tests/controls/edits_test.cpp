// A line edit and a memo show the current record's field and write what the
// user types into it.

#include <QApplication>
#include <QTest>
#include <iterator>
#include <string>
#include <utility>

#include "controls/data_edits.h"
#include "controls/data_error.h"
#include "controls/data_number_edits.h"
#include "controls_fixture.h"

namespace tessel::testing {
namespace {

using controls::DataLineEdit;

TEST_F(ControlsTest, LineEditShowsTheCurrentRecordAndWritesTypedText) {
  MakeNumbers("ctl_edit", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_edit ORDER BY id", true);
  DataLineEdit edit;
  edit.SetDataSource(source.get());
  edit.SetFieldName("name");
  EXPECT_EQ(edit.text(), "name1");
  q.Next();
  EXPECT_EQ(edit.text(), "name2");

  QTest::keyClicks(&edit, "x");
  EXPECT_EQ(q.State(), dsEdit);  // typing started editing
  EXPECT_TRUE(edit.Commit());
  EXPECT_EQ(q.FieldByName("name")->AsString(), "name2x");

  q.Cancel();
  EXPECT_EQ(edit.text(), "name2");
  EXPECT_EQ(q.State(), dsBrowse);
}

// Editability is told to a control only when it changes; it must still
// follow the dataset closing and opening again.
TEST_F(ControlsTest, ControlsAreReadOnlyExactlyWhileTheirDataCannotBeChanged) {
  MakeNumbers("ctl_ro", 2);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_ro ORDER BY id", true, "ctl_ro");
  DataLineEdit edit;
  controls::DataSpinBox spin;
  edit.SetDataSource(source.get());
  edit.SetFieldName("name");
  spin.SetDataSource(source.get());
  spin.SetFieldName("id");
  const auto read_only = [&] { return std::pair(edit.isReadOnly(), spin.isReadOnly()); };
  EXPECT_EQ(read_only(), std::pair(false, false));
  q.Close();
  EXPECT_EQ(read_only(), std::pair(true, true));
  q.Open();
  q.Next();
  EXPECT_EQ(read_only(), std::pair(false, false));
  EXPECT_EQ(edit.text(), "name2");
  EXPECT_EQ(spin.value(), 2);
}

TEST_F(ControlsTest, LineEditKeepsARefusedValueAndSaysWhy) {
  MakeNumbers("ctl_edit2", 2);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_edit2 ORDER BY id", true);
  DataLineEdit edit;
  edit.SetDataSource(source.get());
  edit.SetFieldName("id");
  QString shown;
  auto previous =
      controls::SetDataErrorHandler([&](QWidget*, const QString& message) { shown = message; });
  edit.selectAll();
  QTest::keyClicks(&edit, "12x");
  EXPECT_FALSE(edit.Commit());
  controls::SetDataErrorHandler(previous);
  EXPECT_TRUE(shown.contains("12x")) << shown.toStdString();
  EXPECT_EQ(edit.text(), "12x");  // still there to be corrected
  EXPECT_EQ(q.FieldByName("id")->AsInteger(), 1);
  q.Cancel();
}

// A new text is repainted inside the frame only; whatever it changes there
// must reach the screen: a last character, a text scrolled past the box's
// width, a text emptied, on either side of the box.
TEST_F(ControlsTest, AShownLineEditPaintsEveryTextItIsGiven) {
  server->InternalExecute("IF OBJECT_ID('ctl_texts') IS NOT NULL DROP TABLE ctl_texts");
  server->InternalExecute("CREATE TABLE ctl_texts (id int PRIMARY KEY, name varchar(90) NULL)");
  const char* texts[] = {"'name 10'",
                         "'name 11'",
                         "'a text far longer than the box is wide, which the edit scrolls to "
                         "its end'",
                         "'Wg'",
                         "NULL",
                         "'x'"};
  for (int id = 0; id < std::ssize(texts); ++id) {
    server->InternalExecute("INSERT INTO ctl_texts VALUES (" + std::to_string(id) + ", " +
                            texts[id] + ")");
  }
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_texts ORDER BY id", true);
  for (const Qt::Alignment alignment : {Qt::AlignLeft, Qt::AlignRight}) {
    q.First();
    DataLineEdit edit;
    edit.setFocusPolicy(Qt::NoFocus);  // no blinking cursor between the two pictures
    edit.setAlignment(alignment);
    edit.SetDataSource(source.get());
    edit.SetFieldName("name");
    edit.resize(160, edit.sizeHint().height());
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    QApplication::processEvents();
    for (q.Next(); !q.Eof(); q.Next()) {
      SCOPED_TRACE(std::to_string(int(alignment)) + " " + q.FieldByName("id")->AsString());
      QApplication::processEvents();
      EXPECT_EQ(edit.text().toStdString(), q.FieldByName("name")->AsString());
      EXPECT_TRUE(ScreenShowsAFullPaint(edit));
    }
  }
}

TEST_F(ControlsTest, LineEditOfAnUnknownFieldIsDisabled) {
  MakeNumbers("ctl_edit3", 1);
  OpenQuery("SELECT id FROM ctl_edit3", true);
  DataLineEdit edit;
  edit.SetDataSource(source.get());
  edit.SetFieldName("nosuch");
  EXPECT_FALSE(edit.isEnabled());
  EXPECT_EQ(edit.text(), "");
}

}  // namespace
}  // namespace tessel::testing
