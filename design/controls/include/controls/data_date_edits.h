#pragma once

// DataDateEdit and DataDateTimeEdit edit a date or date-time field. A null
// field shows nullText (an explicit empty state, "(none)" unless set); the
// user clears the value with Delete or Backspace while the whole text is
// selected, or by emptying the text any other way (a cut), and a cleared
// editor writes null, never a date; stepping up or down from null starts at
// today. A cleared
// required field is refused with the field's "must have a value" error.
// Values move as the field's ISO text, at the editor's precision (days,
// milliseconds), with no time zone in between: what is shown is what is
// stored. Null is kept as the editor's minimum (0100-01-01), which is
// therefore not a date these editors can hold. Main thread only.

#include <QDateTimeEdit>

#include "controls/data_control.h"

namespace tessel::controls {

// What both editors share; not used on its own.
class FieldDateTimeEdit : public QDateTimeEdit, public FieldControl {
 public:
  QString nullText() const { return specialValueText(); }
  void setNullText(const QString& text);
  bool IsNull() const;
  // Shows null, as the user clearing the editor would.
  void SetNull();

 protected:
  FieldDateTimeEdit(QMetaType::Type type, QWidget* parent);
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void stepBy(int steps) override;
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
  void SetEditable(bool editable) override { setReadOnly(!editable); }

 private:
  bool with_time_;
};

class DataDateEdit : public FieldDateTimeEdit {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
  Q_PROPERTY(QString nullText READ nullText WRITE setNullText)

 public:
  explicit DataDateEdit(QWidget* parent = nullptr);
};

class DataDateTimeEdit : public FieldDateTimeEdit {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
  Q_PROPERTY(QString nullText READ nullText WRITE setNullText)

 public:
  explicit DataDateTimeEdit(QWidget* parent = nullptr);
};

}  // namespace tessel::controls
