#include "controls/data_control.h"

#include <QWidget>

#include "controls/data_error.h"
#include "framework/data_consts.h"
#include "framework/exceptions.h"

namespace tessel::controls {

FieldControl::FieldControl(QWidget* control) : control_(control) {
  link_.OnDataChange = [this] { Show(); };
  link_.OnEditingChange = [this] {
    if (!link_.Editing()) typed_ = false;
    Display();
  };
  link_.OnUpdateData = [this] {
    // A post must not write the record without the value the user sees.
    if (!Commit()) Abort();
  };
}

FieldControl::~FieldControl() {
  // The widget is half destroyed: the link must not call back into it.
  link_.OnDataChange = nullptr;
  link_.OnEditingChange = nullptr;
  link_.OnUpdateData = nullptr;
}

bool FieldControl::Commit() {
  if (!typed_) return true;
  TField* field = link_.Field();
  if (field == nullptr) {
    typed_ = false;
    return true;
  }
  const bool written = RunReportingErrors(control_, [&] {
    if (!link_.Editing() && !link_.Edit()) return;
    WriteField(*field);
    typed_ = false;
  });
  if (!written || typed_) return false;  // the value stays, to be corrected
  Display();                             // as the field holds it now
  return true;
}

void FieldControl::UserChanged() {
  if (showing_) return;
  typed_ = true;
  if (!link_.Editing() && !link_.Edit()) {
    typed_ = false;
    Display();
  }
}

void FieldControl::Show() {
  if (!typed_) Display();
}

void FieldControl::Display() {
  showing_ = true;
  TField* field = link_.Field();
  control_->setEnabled(field != nullptr);
  // Moving to another record changes neither; some widgets (the spin
  // boxes' and date edits' setReadOnly) repaint and send events each time
  // they are told, changed or not.
  const bool editable = link_.CanModify();
  if (editable != editable_shown_) {
    editable_shown_ = editable;
    SetEditable(editable);
  }
  if (!typed_) ShowField(field);
  showing_ = false;
}

void ClearField(TField& field) {
  if (field.Required()) DatabaseErrorFmt(dbconsts::SFieldRequired, {field.DisplayName()});
  field.Clear();
}

}  // namespace tessel::controls
