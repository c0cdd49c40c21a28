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

// A new text is repainted in the rows its glyphs and the cursor cover, or in
// the whole area inside the frame; whatever it changes there must reach the
// screen: a last character, a text scrolled past the box's width, a text
// emptied or only spaces, glyphs taller or deeper than the font (which move
// the line) and back, glyphs from another font; with the line aligned to
// either side, the top or the bottom, with text margins, with the focus and
// its cursor, and with two texts given before one paint.
TEST_F(ControlsTest, AShownLineEditPaintsEveryTextItIsGiven) {
  server->InternalExecute("IF OBJECT_ID('ctl_texts') IS NOT NULL DROP TABLE ctl_texts");
  server->InternalExecute("CREATE TABLE ctl_texts (id int PRIMARY KEY, name nvarchar(90) NULL)");
  const char* texts[] = {"N'name 10'",
                         "N'name 11'",
                         "N'a text far longer than the box is wide, which the edit scrolls to "
                         "its end'",
                         "N'Wg'",
                         "NULL",
                         "N'x'",
                         "N'\u00c5\u00c9\u0176 \u01fa'",
                         "N'e\u0301\u0302\u0303\u0304'",
                         "N'g\u0327\u0328\u0323\u0325'",
                         "N'x'",
                         "N'\u222b\u2a0c \u6f22'",
                         "N'   '",
                         "N'name 12'",
                         "N'\u01fag'",
                         "N'\u00c5'",
                         "N'y'"};
  for (int id = 0; id < std::ssize(texts); ++id) {
    server->InternalExecute("INSERT INTO ctl_texts VALUES (" + std::to_string(id) + ", " +
                            texts[id] + ")");
  }
  struct Setup {
    const char* name;
    Qt::Alignment alignment;
    QMargins text_margins;
    bool focus;
    int taller;  // than the edit would be; odd or even, a line taller by one moves or not
  };
  const Setup setups[] = {
      {"left", Qt::AlignLeft, {}, false, 4},
      {"left, odd", Qt::AlignLeft, {}, false, 5},
      {"right", Qt::AlignRight, {}, false, 4},
      {"centre, top", Qt::AlignHCenter | Qt::AlignTop, {}, false, 4},
      {"bottom, margins", Qt::AlignLeft | Qt::AlignBottom, {2, 3, 0, 1}, false, 4},
      {"focus, left", Qt::AlignLeft, {}, true, 4},
      {"focus, left, odd", Qt::AlignLeft, {}, true, 5},
      {"focus, right, top", Qt::AlignRight | Qt::AlignTop, {}, true, 4},
  };
  const int flash_time = QApplication::cursorFlashTime();
  QApplication::setCursorFlashTime(0);  // a cursor that stays, between the two pictures
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_texts ORDER BY id", true);
  for (const Setup& setup : setups) {
    q.First();
    DataLineEdit edit;
    edit.setAlignment(setup.alignment);
    edit.setTextMargins(setup.text_margins);
    edit.SetDataSource(source.get());
    edit.SetFieldName("name");
    edit.setReadOnly(false);  // the cursor is drawn only in an editable edit
    edit.resize(160, edit.sizeHint().height() + setup.taller);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    if (setup.focus) {
      edit.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
      edit.setFocus();
      ASSERT_TRUE(edit.hasFocus());
    } else {
      edit.setFocusPolicy(Qt::NoFocus);  // no cursor
    }
    QApplication::processEvents();
    int step = 0;
    for (q.Next(); !q.Eof(); q.Next()) {
      // Every third text is given without a paint before the next.
      if (++step % 3 == 0) continue;
      SCOPED_TRACE(std::string(setup.name) + " " + q.FieldByName("id")->AsString());
      QApplication::processEvents();
      EXPECT_EQ(edit.text().toStdString(), q.FieldByName("name")->AsString());
      EXPECT_TRUE(ScreenShowsAFullPaint(edit));
    }
  }
  QApplication::setCursorFlashTime(flash_time);
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
