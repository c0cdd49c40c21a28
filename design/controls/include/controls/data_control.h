#pragma once

// DataControl is what every data-aware widget is to the screen loader: a
// widget that follows one data source, which it names in its `dataSource`
// property so that a screen read from a .ui file can be bound by name.
//
// FieldControl is the common part of the controls that show and edit one
// field (the `dataField` property): it shows the field's value whenever the
// record or the field changes, starts editing the dataset when the user
// changes the value (through the data source's AutoEdit), and writes the
// pending value into the field when the user leaves the control, when Commit
// is called, or when the dataset posts. A value the field refuses is shown
// through ShowDataError with the field's own message and stays in the
// control to be corrected; a post then stops (EAbort) instead of writing the
// record without it. Main thread only.

#include <QString>
#include <optional>
#include <string>

#include "controls/field_link.h"

class QWidget;

namespace tessel::controls {

class DataControl {
 public:
  virtual ~DataControl() = default;

  virtual TDataSource* DataSource() const = 0;
  virtual void SetDataSource(TDataSource* source) = 0;

  // The `dataSource` property: the data source's component name, which the
  // screen loader resolves. Setting it does not bind anything.
  QString dataSource() const { return data_source_name_; }
  void setDataSource(const QString& name) { data_source_name_ = name; }

 private:
  QString data_source_name_;
};

class FieldControl : public DataControl {
 public:
  TDataSource* DataSource() const override { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) override { link_.SetDataSource(source); }
  void SetFieldName(const std::string& name) { link_.SetFieldName(name); }
  // The linked field; null while the link is inactive or the name unknown.
  TField* Field() const { return link_.Field(); }
  // Writes the pending value into the field; false when the field refused
  // it (the control keeps it).
  bool Commit();
  // True while the control holds a value the user changed and not yet written.
  bool Pending() const { return typed_; }

  // The `dataField` property: the field's name.
  QString dataField() const { return QString::fromStdString(link_.FieldName()); }
  void setDataField(const QString& name) { link_.SetFieldName(name.toStdString()); }

 protected:
  // control is the widget itself, the parent of error messages.
  explicit FieldControl(QWidget* control);
  ~FieldControl() override;

  // Puts field's value (or nothing, for a null field or no field) into the
  // widget. Called with Showing() true, so the widget's change signals can
  // tell a shown value from a typed one.
  virtual void ShowField(TField* field) = 0;
  // Writes the widget's value into field, which is being edited; raises the
  // field's error when the value is refused.
  virtual void WriteField(TField& field) = 0;
  // Whether the user may change the value; the default disables nothing.
  virtual void SetEditable(bool editable) { (void)editable; }

  // The user changed the value: starts editing, or shows the field again
  // when the dataset cannot be edited.
  void UserChanged();
  // Shows the field again unless the user's value is pending.
  void Show();
  bool Showing() const { return showing_; }
  QWidget* Control() const { return control_; }

  FieldLink link_;

 private:
  void Display();

  QWidget* control_;
  bool typed_ = false;
  bool showing_ = false;
  std::optional<bool> editable_shown_;  // what SetEditable was last told
};

// Clears field, raising the field's "must have a value" error when it is
// required (a column declared NOT NULL), before the dataset would at post.
void ClearField(TField& field);

}  // namespace tessel::controls
