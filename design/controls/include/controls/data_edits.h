#pragma once

// Controls that show and edit one field of the current record:
// DataLineEdit for a value on one line, DataMemo for a text column (read
// through the dataset's blob stream when the record changes), and DataImage,
// which shows an image column as a picture. Typing starts editing the dataset
// (through the data source's AutoEdit); the typed text is written into the
// field when the user leaves the control or the dataset posts, with the
// field's validation, and a refused value is shown through ShowDataError.
// Each owns its FieldLink and refers to the data source without owning it.
// Main thread only.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>
#include <string>

#include "controls/field_link.h"

namespace tessel::controls {

class DataLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit DataLineEdit(QWidget* parent = nullptr);

  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  void SetFieldName(const std::string& name) { link_.SetFieldName(name); }
  TField* Field() const { return link_.Field(); }
  // Writes pending text into the field; false when the field refused it.
  bool Commit();

 private:
  void Show();

  FieldLink link_;
  bool typed_ = false;
};

class DataMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit DataMemo(QWidget* parent = nullptr);

  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  void SetFieldName(const std::string& name) { link_.SetFieldName(name); }
  TField* Field() const { return link_.Field(); }
  bool Commit();

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Show();

  FieldLink link_;
  bool typed_ = false;
  bool showing_ = false;
};

class DataImage : public QLabel {
  Q_OBJECT

 public:
  explicit DataImage(QWidget* parent = nullptr);

  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  void SetFieldName(const std::string& name) { link_.SetFieldName(name); }
  TField* Field() const { return link_.Field(); }
  // True when the current record's value was a picture Qt could read.
  bool HasPicture() const { return has_picture_; }

 private:
  void Show();

  FieldLink link_;
  bool has_picture_ = false;
};

}  // namespace tessel::controls
