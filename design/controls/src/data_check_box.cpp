#include "controls/data_check_box.h"

#include "controls/data_edits.h"
#include "controls/data_error.h"

namespace tessel::controls {

DataCheckBox::DataCheckBox(QWidget* parent) : QCheckBox(parent), FieldControl(this) {
  connect(this, &QCheckBox::stateChanged, this, [this] {
    UserChanged();
    Commit();  // a click is a whole value: nothing more to type
  });
  Show();
}

void DataCheckBox::setValueChecked(const QString& value) {
  value_checked_ = value;
  Show();
}

void DataCheckBox::setValueUnchecked(const QString& value) {
  value_unchecked_ = value;
  Show();
}

void DataCheckBox::nextCheckState() {
  // The box is tristate only to show null; a click gives a value.
  if (!editable_) return;
  setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void DataCheckBox::ShowField(TField* field) {
  Qt::CheckState state = Qt::PartiallyChecked;
  if (field != nullptr && !field->IsNull()) {
    RunReportingErrors(this, [&] {
      if (value_checked_.isEmpty() && value_unchecked_.isEmpty()) {
        state = field->AsBoolean() ? Qt::Checked : Qt::Unchecked;
        return;
      }
      const QString value = QString::fromStdString(field->AsString());
      if (value.compare(value_checked_, Qt::CaseInsensitive) == 0) state = Qt::Checked;
      if (value.compare(value_unchecked_, Qt::CaseInsensitive) == 0) state = Qt::Unchecked;
    });
  }
  // setCheckState repaints the box even for the state it shows, as it is
  // from one record to the next for many fields. The state shown is read
  // before setTristate, which alone would make a box that once showed null
  // read as null again without showing it.
  const Qt::CheckState shown = checkState();
  setTristate(state == Qt::PartiallyChecked);
  if (state != shown) setCheckState(state);
}

void DataCheckBox::WriteField(TField& field) {
  const bool checked = checkState() == Qt::Checked;
  if (value_checked_.isEmpty() && value_unchecked_.isEmpty()) {
    field.SetAsBoolean(checked);
  } else {
    SetFieldText(field, checked ? value_checked_ : value_unchecked_);
  }
}

}  // namespace tessel::controls
