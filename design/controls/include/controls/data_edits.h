#pragma once

// Controls that show and edit one field of the current record:
// DataLineEdit for a value on one line, DataMemo for a text column (read
// through the dataset's blob stream when the record changes), DataImage,
// which shows an image column as a picture, and DataLabel, which shows a
// field's display text (money with its cents) and edits nothing. Typing
// starts editing the dataset; the typed text is written into the field when
// the user leaves the control or the dataset posts (see FieldControl).
// Each owns its FieldLink and refers to the data source without owning it.
// Main thread only.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "controls/data_control.h"

namespace tessel::controls {

class DataLineEdit : public QLineEdit, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataLineEdit(QWidget* parent = nullptr);

 protected:
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
  void SetEditable(bool editable) override { setReadOnly(!editable); }
  void paintEvent(QPaintEvent* event) override;

 private:
  // Shows a text other than the one shown, repainting what it changes.
  void ShowText(const QString& shown);

  // The text at the last paint, which placed the line the cursor is on.
  QString painted_text_;
};

class DataMemo : public QPlainTextEdit, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataMemo(QWidget* parent = nullptr);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
  void SetEditable(bool editable) override { setReadOnly(!editable); }
};

class DataImage : public QLabel, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataImage(QWidget* parent = nullptr);

  // True when the current record's value was a picture Qt could read.
  bool HasPicture() const { return has_picture_; }

 protected:
  void ShowField(TField* field) override;
  void WriteField(TField&) override {}

 private:
  bool has_picture_ = false;
};

class DataLabel : public QLabel, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataLabel(QWidget* parent = nullptr);

 protected:
  void ShowField(TField* field) override;
  void WriteField(TField&) override {}
};

// The field's value as text to edit (AsString), empty for null; a value that
// cannot be read is shown through ShowDataError and gives empty text.
QString FieldText(TField* field, QWidget* control);
// Writes text into field: an empty text clears a field that is not a string.
void SetFieldText(TField& field, const QString& text);

}  // namespace tessel::controls
