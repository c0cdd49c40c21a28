// The data-entry controls: each shows its field, takes the user's change,
// has it posted (the server then holds it), and refuses a value its field
// refuses, keeping it and stopping the post.

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <string>

#include "controls/data_check_box.h"
#include "controls/data_combo_boxes.h"
#include "controls/data_date_edits.h"
#include "controls/data_edits.h"
#include "controls/data_error.h"
#include "controls/data_grid.h"
#include "controls/data_number_edits.h"
#include "entry_fixture.h"

namespace tessel::testing {
namespace {

using namespace controls;

// One control over one field of ctl_entry.
struct ControlCase {
  const char* name;
  const char* field;
  std::function<FieldControl*(EntryTest&)> make;
  // What the control shows, as text.
  std::function<QString(QWidget*)> shown;
};

template <typename Widget>
std::function<FieldControl*(EntryTest&)> Make(std::function<void(Widget&)> setup = {}) {
  return [setup](EntryTest&) -> FieldControl* {
    auto* widget = new Widget;
    if (setup) setup(*widget);
    return widget;
  };
}

QString CheckText(QWidget* w) {
  switch (static_cast<QCheckBox*>(w)->checkState()) {
    case Qt::Checked:
      return "checked";
    case Qt::Unchecked:
      return "unchecked";
    default:
      return "partly";
  }
}
QString ComboText(QWidget* w) {
  return static_cast<QComboBox*>(w)->currentText();
}
QString LineText(QWidget* w) {
  return static_cast<QLineEdit*>(w)->text();
}
QString SpinText(QWidget* w) {
  return static_cast<QAbstractSpinBox*>(w)->text();
}
QString LabelText(QWidget* w) {
  return static_cast<QLabel*>(w)->text();
}

void YesNo(DataCheckBox& box) {
  box.setValueChecked("Y");
  box.setValueUnchecked("N");
}
void Colors(DataComboBox& combo) {
  combo.addItems({"red", "green", "blue"});
}

// Binds the case's control to the entry rows (and a lookup to the customers).
std::unique_ptr<QWidget> Bound(EntryTest& test, const ControlCase& c, TDataSource* source,
                               TDataSource* customers) {
  FieldControl* control = c.make(test);
  if (auto* lookup = dynamic_cast<DataLookupComboBox*>(control)) {
    lookup->setKeyField("id");
    lookup->setListField("name");
    lookup->SetListSource(customers);
  }
  control->SetDataSource(source);
  control->SetFieldName(c.field);
  return std::unique_ptr<QWidget>(dynamic_cast<QWidget*>(control));
}

// Bound and shown without focus (no blinking cursor between pictures),
// painted once; nullptr when the window system never shows it.
std::unique_ptr<QWidget> ShownBound(EntryTest& test, const ControlCase& c, TDataSource* source,
                                    TDataSource* customers) {
  auto widget = Bound(test, c, source, customers);
  widget->setFocusPolicy(Qt::NoFocus);
  widget->show();
  if (!QTest::qWaitForWindowExposed(widget.get())) return nullptr;
  QApplication::processEvents();
  return widget;
}

const ControlCase kBit{"bit", "flag", Make<DataCheckBox>(), CheckText};
const ControlCase kYesNo{"yes/no", "yn", Make<DataCheckBox>(YesNo), CheckText};
const ControlCase kCombo{"combo", "color", Make<DataComboBox>(Colors), ComboText};
const ControlCase kLookup{"lookup", "cust", Make<DataLookupComboBox>(), ComboText};
const ControlCase kDate{"date", "born", Make<DataDateEdit>(), SpinText};
const ControlCase kDateTime{"date-time", "seen", Make<DataDateTimeEdit>(), SpinText};
const ControlCase kSpin{"spin", "qty", Make<DataSpinBox>(), SpinText};
const ControlCase kDecimal{"decimal", "price", Make<DataDecimalEdit>(), LineText};
const ControlCase kLabel{"label", "note", Make<DataLabel>(), LabelText};
const ControlCase kLine{"line", "note", Make<DataLineEdit>(), LineText};

TEST_F(EntryTest, EachControlShowsItsFieldAndANull) {
  struct Case {
    ControlCase control;
    QString row1;
    QString row2;
  };
  const Case cases[] = {
      {kBit, "checked", "unchecked"},
      {kYesNo, "checked", "partly"},
      {kCombo, "green", ""},
      {kLookup, "Beta", ""},
      {kDate, "2001-02-03", "2002-03-04"},
      {kDateTime, "2020-01-02 03:04:05", "(none)"},
      {kSpin, "7", "(none)"},
      {kDecimal, "10.50", "0.00"},
      {kLabel, "a <b>note</b>", ""},
  };
  MakeEntry();
  TTessel& q = OpenEntry();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control.name);
    q.First();
    auto widget = Bound(*this, c.control, source.get(), cust_source.get());
    EXPECT_EQ(c.control.shown(widget.get()), c.row1);
    q.Next();
    EXPECT_EQ(c.control.shown(widget.get()), c.row2);
    if (auto* label = dynamic_cast<QLabel*>(widget.get())) {
      EXPECT_EQ(label->textFormat(), Qt::PlainText);  // a value's markup is not obeyed
    }
  }
}

// Counts the paint events a control and its parts (a spin box's line edit)
// receive.
class PaintCount : public QObject {
 public:
  explicit PaintCount(QWidget& control) {
    control.installEventFilter(this);
    for (QWidget* part : control.findChildren<QWidget*>()) part->installEventFilter(this);
  }
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

TEST_F(EntryTest, EachControlRepaintsOnlyWhenWhatItShowsChanges) {
  MakeEntry();
  TTessel& q = OpenEntry();
  for (const ControlCase& c :
       {kBit, kYesNo, kCombo, kLookup, kDate, kDateTime, kSpin, kDecimal, kLabel, kLine}) {
    SCOPED_TRACE(c.name);
    q.First();
    auto widget = ShownBound(*this, c, source.get(), cust_source.get());
    ASSERT_NE(widget, nullptr);
    const PaintCount count(*widget);
    // Read again, the record shows what it showed: nothing to paint.
    q.Refresh();
    QApplication::processEvents();
    EXPECT_EQ(count.paints, 0);
    // The next record shows another value: painted, all of what changed.
    q.Next();
    QApplication::processEvents();
    EXPECT_GT(count.paints, 0) << c.shown(widget.get()).toStdString();
    EXPECT_TRUE(ScreenShowsAFullPaint(*widget));
  }
}

// A new value in a spin box, a date edit or a lookup combo box repaints the
// line edit inside it, and the box around it only when a step button is
// enabled or disabled: the screen shows every value as a full paint does,
// through nulls, both bounds, a key without a customer, with and without a
// calendar popup, and with two values given before one paint.
TEST_F(EntryTest, EachCompositeControlPaintsEveryValueItIsGiven) {
  MakeEntry();
  OpenEntry();  // the customers
  server->InternalExecute("IF OBJECT_ID('ctl_values') IS NOT NULL DROP TABLE ctl_values");
  server->InternalExecute(
      "CREATE TABLE ctl_values (id int PRIMARY KEY, qty int NULL, born date NULL, "
      "seen datetime NULL, cust int NULL)");
  server->InternalExecute(
      "INSERT INTO ctl_values VALUES (1, 7, '2001-02-03', '2020-01-02 03:04:05', 2), "
      "(2, 8, '2001-02-04', '2020-01-02 03:04:06', 1), (3, NULL, NULL, NULL, NULL), "
      "(4, 2147483647, '9999-12-31', '9999-12-31 23:59:59', 3), "
      "(5, -5, '0100-01-02', '1753-01-01 00:00:00', 2), "
      "(6, -2147483647, '1999-12-31', '2020-01-02 03:04:05', 99), "
      "(7, 9, '2001-02-03', NULL, 1), (8, 2147483646, '9999-12-30', '2020-01-02 03:04:05', 2), "
      "(9, 10, '2001-02-05', '2020-01-02 03:04:05', 3)");
  const auto no_popup = [](FieldDateTimeEdit& edit) { edit.setCalendarPopup(false); };
  const ControlCase cases[] = {
      kSpin,
      {"date", "born", Make<DataDateEdit>(), SpinText},
      {"date without popup", "born", Make<DataDateEdit>(no_popup), SpinText},
      {"date-time", "seen", Make<DataDateTimeEdit>(), SpinText},
      {"date-time without popup", "seen", Make<DataDateTimeEdit>(no_popup), SpinText},
      kLookup,
  };
  TTessel& q = OpenQuery("SELECT * FROM ctl_values ORDER BY id", true);
  for (const ControlCase& c : cases) {
    q.First();
    auto widget = ShownBound(*this, c, source.get(), cust_source.get());
    ASSERT_NE(widget, nullptr);
    int step = 0;
    for (q.Next(); !q.Eof(); q.Next()) {
      if (++step % 3 == 0) continue;  // given with the next, before one paint
      SCOPED_TRACE(std::string(c.name) + " " + q.FieldByName("id")->AsString());
      QApplication::processEvents();
      EXPECT_TRUE(ScreenShowsAFullPaint(*widget)) << c.shown(widget.get()).toStdString();
    }
  }
}

TEST_F(EntryTest, EachControlWritesTheUsersValueAndThePostStoresIt) {
  struct Case {
    ControlCase control;
    std::function<void(QWidget*)> edit;
    std::string stored;  // as the server gives it back
  };
  const Case cases[] = {
      {kBit, [](QWidget* w) { static_cast<QCheckBox*>(w)->click(); }, "0"},
      {kYesNo, [](QWidget* w) { static_cast<QCheckBox*>(w)->click(); }, "N"},
      {kCombo,
       [](QWidget* w) {
         auto* combo = static_cast<QComboBox*>(w);
         combo->setCurrentIndex(2);
         emit combo->activated(2);
       },
       "blue"},
      {kLookup, [](QWidget* w) { static_cast<QComboBox*>(w)->setEditText("gamma"); }, "3"},
      {kDate, [](QWidget* w) { static_cast<DataDateEdit*>(w)->setDate(QDate(2010, 5, 6)); },
       "May  6 2010 12:00:00:AM"},
      {kDateTime,
       [](QWidget* w) {
         static_cast<DataDateTimeEdit*>(w)->setDateTime(
             QDateTime(QDate(2021, 12, 31), QTime(23, 59, 58), Qt::UTC));
       },
       "Dec 31 2021 11:59:58:000PM"},
      {kSpin, [](QWidget* w) { static_cast<DataSpinBox*>(w)->setValue(-12); }, "-12"},
      // More digits than a double carries: the text goes to the field as typed.
      {kDecimal,
       [](QWidget* w) {
         static_cast<QLineEdit*>(w)->selectAll();
         QTest::keyClicks(w, "1234567890123456.78");
       },
       "1234567890123456.78"},
  };
  MakeEntry();
  TTessel& q = OpenEntry();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control.name);
    auto widget = Bound(*this, c.control, source.get(), cust_source.get());
    c.edit(widget.get());
    EXPECT_EQ(q.State(), dsEdit);  // the change started editing
    q.Post();                      // takes the pending value
    EXPECT_EQ(Stored(c.control.field), c.stored);
  }
}

TEST_F(EntryTest, EachControlRefusesWhatItsFieldRefusesAndKeepsIt) {
  struct Case {
    ControlCase control;
    std::function<void(QWidget*)> edit;
    QString message;  // part of the field's error
    QString kept;     // still shown
  };
  const Case cases[] = {
      {{"check box values", "flag", Make<DataCheckBox>([](DataCheckBox& b) {
          b.setValueChecked("maybe");
          b.setValueUnchecked("nope");
        }),
        CheckText},
       [](QWidget* w) { static_cast<QCheckBox*>(w)->click(); },
       "'maybe' is not a valid boolean value for field 'flag'",
       "checked"},
      {{"combo text", "qty", Make<DataComboBox>([](DataComboBox& c) {
          c.addItems({"1", "2"});
          c.setEditable(true);
        }),
        ComboText},
       [](QWidget* w) { static_cast<QComboBox*>(w)->setEditText("lots"); },
       "'lots' is not a valid integer value for field 'qty'",
       "lots"},
      {kLookup, [](QWidget* w) { static_cast<QComboBox*>(w)->setEditText("Nobody"); },
       "'Nobody' is not a valid value for field 'cust'", "Nobody"},
      {kDate,  // cleared as a user would: all selected, then Delete
       [](QWidget* w) {
         QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClick(w, Qt::Key_Delete);
       },
       "Field 'born' must have a value", "(none)"},
      {kSpin, [](QWidget* w) { static_cast<DataSpinBox*>(w)->setValue(40000); }, "40000", "40000"},
      {kDecimal,
       [](QWidget* w) {
         static_cast<QLineEdit*>(w)->selectAll();
         QTest::keyClicks(w, "1.234");
       },
       "more decimals", "1.234"},
      {kDecimal,
       [](QWidget* w) {
         static_cast<QLineEdit*>(w)->selectAll();
         QTest::keyClick(w, Qt::Key_Delete);
       },
       "Field 'price' must have a value", ""},
  };
  MakeEntry();
  TTessel& q = OpenEntry();
  QString shown;
  auto previous = SetDataErrorHandler([&](QWidget*, const QString& message) { shown = message; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control.name);
    const std::string before = Stored(c.control.field);
    auto widget = Bound(*this, c.control, source.get(), cust_source.get());
    auto* control = dynamic_cast<FieldControl*>(widget.get());
    shown.clear();
    c.edit(widget.get());
    EXPECT_FALSE(control->Commit());
    EXPECT_TRUE(shown.contains(c.message)) << shown.toStdString();
    EXPECT_EQ(c.control.shown(widget.get()), c.kept);
    // A post does not go on without the refused value.
    EXPECT_THROW(q.Post(), EAbort);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(c.control.shown(widget.get()), c.kept);
    q.Cancel();
    EXPECT_EQ(Stored(c.control.field), before);
  }
  SetDataErrorHandler(previous);
}

TEST_F(EntryTest, LookupKeepsTheTypedTextWhenItsListIsReadAgain) {
  const std::pair<const char*, std::function<void(DataLookupComboBox&)>> reloads[] = {
      {"refresh", [this](DataLookupComboBox&) { cust_query->Refresh(); }},
      {"reopen",
       [this](DataLookupComboBox&) {
         cust_query->Close();
         cust_query->Open();
       }},
      {"read again", [](DataLookupComboBox& combo) { combo.ReloadList(); }},
  };
  MakeEntry();
  TTessel& q = OpenEntry();
  for (const auto& [name, reload] : reloads) {
    SCOPED_TRACE(name);
    auto widget = Bound(*this, kLookup, source.get(), cust_source.get());
    auto* combo = static_cast<DataLookupComboBox*>(widget.get());
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, "Gamma");
    reload(*combo);
    EXPECT_EQ(combo->currentText(), "Gamma");
    EXPECT_EQ(combo->count(), 3);
    EXPECT_TRUE(combo->Commit());  // the typed text, not an emptied line, is written
    EXPECT_EQ(q.FieldByName("cust")->AsString(), "3");
    q.Cancel();
  }
}

TEST_F(EntryTest, AControlOnADetailFollowsItsMasterBesideAGrid) {
  MakeEntry();
  OpenEntry();
  TTessel detail(nullptr);
  detail.SetSQLServer(server.get());
  detail.SetCacheAllRecords(true);
  detail.SQL()->SetText("SELECT id, note FROM ctl_entry WHERE cust = :id");
  detail.SetDataSource(cust_source.get());
  TDataSource detail_source(nullptr);
  detail_source.SetDataSet(&detail);
  detail.Open();
  // The grid's link is told first that the detail was read again, and its
  // reading reports the change to the line edit before the new layout does.
  DataGrid grid;
  grid.SetDataSource(&detail_source);
  DataLineEdit note;
  note.SetDataSource(&detail_source);
  note.SetFieldName("note");
  const char* notes[] = {"", "a <b>note</b>", ""};  // customers 1, 2, 3
  cust_query->First();
  for (const char* expected : notes) {
    SCOPED_TRACE(cust_query->FieldByName("id")->AsString());
    EXPECT_EQ(note.text(), expected);
    EXPECT_EQ(note.Field(), detail.FindField("note"));
    cust_query->Next();
  }
  cust_query->First();
  cust_query->Edit();  // editing the master reads the detail again too
  EXPECT_EQ(note.Field(), detail.FindField("note"));
  cust_query->Cancel();
  note.SetDataSource(nullptr);
  grid.SetDataSource(nullptr);
}

TEST_F(EntryTest, ADateEditLeftEmptyPostsNull) {
  const std::pair<const char*, std::function<void(QWidget*)>> clears[] = {
      {"delete", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Delete); }},
      {"backspace", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Backspace); }},
      {"cut", [](QWidget* w) { QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier); }},
  };
  MakeEntry();
  TTessel& q = OpenEntry();
  for (const ControlCase* control : {&kDate, &kDateTime}) {
    for (const auto& [name, clear] : clears) {
      SCOPED_TRACE(std::string(control->name) + ", " + name);
      q.First();
      auto widget = Bound(*this, ControlCase{control->name, "seen", control->make, SpinText},
                          source.get(), cust_source.get());
      QTest::keyClick(widget.get(), Qt::Key_A, Qt::ControlModifier);
      clear(widget.get());
      EXPECT_EQ(q.State(), dsEdit);
      q.Post();
      EXPECT_EQ(Stored("CASE WHEN seen IS NULL THEN 'null' ELSE 'a date' END"), "null");
      EXPECT_EQ(SpinText(widget.get()), "(none)");
      q.Edit();  // the date back for the next case
      q.FieldByName("seen")->SetAsString("2020-01-02 03:04:05");
      q.Post();
    }
  }
}

}  // namespace
}  // namespace tessel::testing
