#pragma once

// The fields dialog's "New field": the field's name, type and size, and its
// kind: data, calculated, or lookup with the dataset it looks up in, the key
// fields here, the key fields there and the field whose value it shows. OK
// hands the description to the caller's apply, which makes the field; what
// apply raises is shown and the dialog stays open for a correction. GUI
// thread only.

#include <QDialog>
#include <functional>

#include "persistent_fields.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace tessel::design {

class TlqNewFieldDialog : public QDialog {
  Q_OBJECT

 public:
  // dataset: the one the field joins, whose owner's other datasets are
  // offered for a lookup; not owned.
  TlqNewFieldDialog(TDataSet& dataset, std::function<void(const TlqNewField&)> apply,
                    QWidget* parent = nullptr);

  // What the controls say now.
  TlqNewField Field() const;

 protected:
  void accept() override;

 private:
  void KindChanged();

  std::function<void(const TlqNewField&)> FApply;
  QLineEdit* FieldName;
  QComboBox* FieldType;
  QSpinBox* FieldSize;
  QRadioButton* KindData;
  QRadioButton* KindCalculated;
  QRadioButton* KindLookup;
  QComboBox* LookupDataSet;
  QLineEdit* KeyFields;
  QLineEdit* LookupKeyFields;
  QLineEdit* LookupResultField;
};

}  // namespace tessel::design
