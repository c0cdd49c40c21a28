#include "controls/data_number_edits.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <limits>

#include "controls/data_error.h"
#include "own_repaint.h"

namespace tessel::controls {

DataSpinBox::DataSpinBox(QWidget* parent) : QSpinBox(parent), FieldControl(this) {
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSpecialValueText(tr("(none)"));
  setAlignment(Qt::AlignRight);
  connect(this, &QSpinBox::valueChanged, this, [this] { UserChanged(); });
  connect(this, &QSpinBox::editingFinished, this, [this] { Commit(); });
  Show();
}

void DataSpinBox::setNullText(const QString& text) {
  setSpecialValueText(text.isEmpty() ? QStringLiteral(" ") : text);
}

void DataSpinBox::keyPressEvent(QKeyEvent* event) {
  const bool clears = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
  QLineEdit* line = lineEdit();
  if (clears && !isReadOnly() && line->hasSelectedText() && line->selectedText() == line->text()) {
    SetNull();
    return;
  }
  QSpinBox::keyPressEvent(event);
}

void DataSpinBox::focusOutEvent(QFocusEvent* event) {
  QSpinBox::focusOutEvent(event);
  Commit();
}

void DataSpinBox::stepBy(int steps) {
  if (IsNull()) {
    setValue(0);
    return;
  }
  QSpinBox::stepBy(steps);
}

void DataSpinBox::ShowField(TField* field) {
  int shown = minimum();
  if (field != nullptr && !field->IsNull()) {
    RunReportingErrors(this, [&] { shown = field->AsInteger(); });
  }
  // setValue formats and lays out the text again even for the value it
  // shows; text the user typed and left (modified) is put back all the same.
  if (shown == value() && !lineEdit()->isModified()) return;
  // The line edit repaints the new text; around it only the step buttons
  // can change, when the value reaches or leaves a bound (null is one).
  const StepEnabled steps = stepEnabled();
  WithoutOwnRepaint(*this, [&] { setValue(shown); });
  if (stepEnabled() != steps) update();
}

void DataSpinBox::WriteField(TField& field) {
  if (IsNull()) {
    ClearField(field);
  } else {
    field.SetAsInteger(value());
  }
}

DataDecimalEdit::DataDecimalEdit(QWidget* parent) : DataLineEdit(parent) {
  setAlignment(Qt::AlignRight);
  setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[+-]?[0-9]*(\\.[0-9]*)?")), this));
}

}  // namespace tessel::controls
