#pragma once

// DataCheckBox shows a Boolean or bit field as a check box, or any field
// whose values stand for yes and no ('Y'/'N', 1/0) when valueChecked and
// valueUnchecked say which texts those are. A null field, or a value that is
// neither, shows partly checked; clicking then checks it. With the values
// left empty, the box writes the field's Boolean (SetAsBoolean); otherwise
// it writes the text of the value. Main thread only.

#include <QCheckBox>

#include "controls/data_control.h"

namespace tessel::controls {

class DataCheckBox : public QCheckBox, public FieldControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
  Q_PROPERTY(QString valueChecked READ valueChecked WRITE setValueChecked)
  Q_PROPERTY(QString valueUnchecked READ valueUnchecked WRITE setValueUnchecked)

 public:
  explicit DataCheckBox(QWidget* parent = nullptr);

  // The texts written for checked and unchecked and recognised when read
  // (without regard to case); empty: the field's Boolean.
  QString valueChecked() const { return value_checked_; }
  void setValueChecked(const QString& value);
  QString valueUnchecked() const { return value_unchecked_; }
  void setValueUnchecked(const QString& value);

 protected:
  void nextCheckState() override;
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
  void SetEditable(bool editable) override { editable_ = editable; }

 private:
  QString value_checked_;
  QString value_unchecked_;
  bool editable_ = false;
};

}  // namespace tessel::controls
