#pragma once

// DataSpinBox edits an integer field; DataDecimalEdit edits an exact decimal
// or money field as text, which goes to the field as typed and comes back as
// the field holds it, never through a double, so the field's own checks
// (decimals beyond its scale, digits beyond its precision) see exactly what
// the user wrote. Both refuse a value the field refuses (out of its range)
// with the field's error and keep it to be corrected.
//
// The spin box takes any 32-bit value and lets the field judge its range. A
// null field shows nullText ("(none)" unless set), kept as the smallest
// 32-bit value, which the box therefore cannot hold; Delete or Backspace
// with the whole text selected clears it. Main thread only.

#include <QSpinBox>

#include "controls/data_control.h"
#include "controls/data_edits.h"

namespace tessel::controls {

class DataSpinBox : public QSpinBox, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
  Q_PROPERTY(QString nullText READ nullText WRITE setNullText)

 public:
  explicit DataSpinBox(QWidget* parent = nullptr);

  QString nullText() const { return specialValueText(); }
  void setNullText(const QString& text);
  bool IsNull() const { return value() == minimum(); }
  // Shows null, as the user clearing the box would.
  void SetNull() { setValue(minimum()); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void stepBy(int steps) override;
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
  void SetEditable(bool editable) override { setReadOnly(!editable); }
};

// A line edit that takes only the characters of a decimal number
// ([+-]digits[.digits]) and aligns it right; an empty text is null.
class DataDecimalEdit : public DataLineEdit {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataDecimalEdit(QWidget* parent = nullptr);
};

}  // namespace tessel::controls
