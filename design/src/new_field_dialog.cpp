#include "new_field_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "form_face.h"
#include "framework/dataset.h"

namespace tessel::design {

namespace {

template <class W>
W* Named(W* control, const char* name) {
  control->setObjectName(name);
  return control;
}

}  // namespace

TlqNewFieldDialog::TlqNewFieldDialog(TDataSet& dataset,
                                     std::function<void(const TlqNewField&)> apply, QWidget* parent)
    : QDialog(parent), FApply(std::move(apply)) {
  setObjectName("lqNewFieldDialog");
  setWindowTitle(ToQ("New field of " + dataset.Name()));
  SetFormFont(this);

  FieldName = Named(new QLineEdit(this), "FieldName");
  FieldType = Named(new QComboBox(this), "FieldType");
  FieldSize = Named(new QSpinBox(this), "FieldSize");
  FieldSize->setRange(0, 8000);
  FieldSize->setSpecialValueText("(type's own)");
  auto* field = new QGroupBox("Field", this);
  auto* field_rows = new QFormLayout(field);
  field_rows->addRow("&Name:", FieldName);
  field_rows->addRow("&Type:", FieldType);
  field_rows->addRow("&Size:", FieldSize);

  KindData = Named(new QRadioButton("&Data", this), "KindData");
  KindCalculated = Named(new QRadioButton("&Calculated", this), "KindCalculated");
  KindLookup = Named(new QRadioButton("&Lookup", this), "KindLookup");
  KindData->setChecked(true);
  auto* kind = new QGroupBox("Kind", this);
  auto* kinds = new QHBoxLayout(kind);
  kinds->addWidget(KindData);
  kinds->addWidget(KindCalculated);
  kinds->addWidget(KindLookup);

  LookupDataSet = Named(new QComboBox(this), "LookupDataSet");
  if (const TComponent* owner = dataset.Owner()) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      auto* other = dynamic_cast<TDataSet*>(owner->Components(i));
      if (other != nullptr && other != &dataset) {
        LookupDataSet->addItem(ToQ(other->Name()), QVariant::fromValue(static_cast<void*>(other)));
      }
    }
  }
  KeyFields = Named(new QLineEdit(this), "KeyFields");
  LookupKeyFields = Named(new QLineEdit(this), "LookupKeyFields");
  LookupResultField = Named(new QLineEdit(this), "LookupResultField");
  auto* lookup = new QGroupBox("Lookup definition", this);
  auto* lookup_rows = new QFormLayout(lookup);
  lookup_rows->addRow("Dataset:", LookupDataSet);
  lookup_rows->addRow("Key fields:", KeyFields);
  lookup_rows->addRow("Lookup keys:", LookupKeyFields);
  lookup_rows->addRow("Result field:", LookupResultField);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TlqNewFieldDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(field);
  layout->addWidget(kind);
  layout->addWidget(lookup);
  layout->addWidget(buttons);

  for (QRadioButton* button : {KindData, KindCalculated, KindLookup}) {
    connect(button, &QRadioButton::toggled, this, [this](bool on) {
      if (on) KindChanged();
    });
  }
  KindChanged();
}

void TlqNewFieldDialog::KindChanged() {
  const TlqNewField now = Field();
  // A calculated or lookup field cannot hold every type: the list follows the kind.
  FieldType->clear();
  for (const TFieldType type : NewFieldTypes(now.Kind)) {
    FieldType->addItem(FieldTypeName(type), static_cast<int>(type));
  }
  const int kept = FieldType->findData(static_cast<int>(now.DataType));
  FieldType->setCurrentIndex(kept >= 0 ? kept : 0);
  const bool lookup = now.Kind == fkLookup;
  for (QWidget* control : std::initializer_list<QWidget*>{LookupDataSet, KeyFields, LookupKeyFields,
                                                          LookupResultField}) {
    control->setEnabled(lookup);
  }
}

TlqNewField TlqNewFieldDialog::Field() const {
  TlqNewField field;
  field.FieldName = FromQ(FieldName->text().trimmed());
  if (FieldType->currentIndex() >= 0) {
    field.DataType = static_cast<TFieldType>(FieldType->currentData().toInt());
  }
  field.Size = FieldSize->value();
  field.Kind = KindLookup->isChecked()       ? fkLookup
               : KindCalculated->isChecked() ? fkCalculated
                                             : fkData;
  if (field.Kind == fkLookup) {
    field.LookupDataSet = static_cast<TDataSet*>(LookupDataSet->currentData().value<void*>());
    field.KeyFields = FromQ(KeyFields->text().trimmed());
    field.LookupKeyFields = FromQ(LookupKeyFields->text().trimmed());
    field.LookupResultField = FromQ(LookupResultField->text().trimmed());
  }
  return field;
}

void TlqNewFieldDialog::accept() {
  try {
    FApply(Field());
  } catch (const std::exception& error) {
    ShowException(this, error);
    return;
  }
  QDialog::accept();
}

}  // namespace tessel::design
