#include "controls/data_date_edits.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "controls/data_edits.h"
#include "own_repaint.h"

namespace tessel::controls {

namespace {

// Null, kept as the editors' minimum; earlier dates cannot be shown anyway.
const QDateTime kNullValue(QDate(100, 1, 1), QTime(0, 0), Qt::UTC);

// The field's ISO text ("2024-02-29", "2024-02-29 13:45:00.250") as a
// date-time without time zone; invalid when it is not one.
QDateTime ParseIso(const QString& text) {
  const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
  QTime time(0, 0);
  if (text.size() > 11) time = QTime::fromString(text.mid(11), Qt::ISODateWithMs);
  if (!date.isValid() || !time.isValid()) return {};
  return QDateTime(date, time, Qt::UTC);
}

}  // namespace

FieldDateTimeEdit::FieldDateTimeEdit(QMetaType::Type type, QWidget* parent)
    : QDateTimeEdit(QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC), type, parent),
      FieldControl(this),
      with_time_(type == QMetaType::QDateTime) {
  setTimeSpec(Qt::UTC);
  setMinimumDateTime(kNullValue);
  setSpecialValueText(tr("(none)"));
  setDisplayFormat(with_time_ ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                              : QStringLiteral("yyyy-MM-dd"));
  setCalendarPopup(true);
  connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] { UserChanged(); });
  connect(this, &QDateTimeEdit::editingFinished, this, [this] { Commit(); });
  // Text the user emptied (cut, or deleted by any other key) means no date:
  // left alone, the editor would go back to the date it held and that date
  // would stay in the field as if the user had kept it.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.isEmpty() && !isReadOnly() && !Showing()) SetNull();
  });
}

void FieldDateTimeEdit::setNullText(const QString& text) {
  // An empty special text would turn the null state off: keep a blank.
  setSpecialValueText(text.isEmpty() ? QStringLiteral(" ") : text);
}

bool FieldDateTimeEdit::IsNull() const {
  return dateTime() == minimumDateTime();
}

void FieldDateTimeEdit::SetNull() {
  setDateTime(minimumDateTime());
}

void FieldDateTimeEdit::keyPressEvent(QKeyEvent* event) {
  const bool clears = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
  QLineEdit* line = lineEdit();
  if (clears && !isReadOnly() && line->hasSelectedText() && line->selectedText() == line->text()) {
    SetNull();
    return;
  }
  QDateTimeEdit::keyPressEvent(event);
}

void FieldDateTimeEdit::focusOutEvent(QFocusEvent* event) {
  QDateTimeEdit::focusOutEvent(event);
  Commit();
}

void FieldDateTimeEdit::stepBy(int steps) {
  if (IsNull()) {
    setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC));
    return;
  }
  QDateTimeEdit::stepBy(steps);
}

void FieldDateTimeEdit::ShowField(TField* field) {
  const QString text = FieldText(field, this);
  QDateTime value = text.isEmpty() ? QDateTime() : ParseIso(text);
  if (!value.isValid()) value = minimumDateTime();
  // setDateTime formats and lays out the text again even for the value it
  // shows; text the user typed and left (modified) is put back all the same.
  if (value == dateTime() && !lineEdit()->isModified()) return;
  // The line edit repaints the new text; around it only the step buttons
  // can change, when the value reaches or leaves a bound (null is one). A
  // calendar popup's button shows no steps: nothing to ask (which is not
  // cheap for a date edit).
  if (calendarPopup()) {
    WithoutOwnRepaint(*this, [&] { setDateTime(value); });
    return;
  }
  const StepEnabled steps = stepEnabled();
  WithoutOwnRepaint(*this, [&] { setDateTime(value); });
  if (stepEnabled() != steps) update();
}

void FieldDateTimeEdit::WriteField(TField& field) {
  if (IsNull()) {
    ClearField(field);
    return;
  }
  const QDateTime value = dateTime();
  SetFieldText(field, with_time_ ? value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                 : value.date().toString(Qt::ISODate));
}

DataDateEdit::DataDateEdit(QWidget* parent) : FieldDateTimeEdit(QMetaType::QDate, parent) {
  Show();
}

DataDateTimeEdit::DataDateTimeEdit(QWidget* parent)
    : FieldDateTimeEdit(QMetaType::QDateTime, parent) {
  Show();
}

}  // namespace tessel::controls
