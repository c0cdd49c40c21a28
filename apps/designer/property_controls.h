#pragma once

// The controls in the property panel's value column, one kind per property
// type: a line edit for text and numbers, a check box for booleans, a
// drop-down for enumerations and references, a caption with an ellipsis
// button for string lists and for editors that open a dialog, a check box
// per set element, an editable drop-down of handler names for events. Each
// control applies a change through the row's property
// editor, or for references through the property itself and the document's
// Modified. GUI thread only.

#include <QString>
#include <functional>
#include <memory>

#include "framework/designer.h"

class QWidget;

namespace tessel::designer {

class FormDocument;

struct PropertyRow {
  FormDocument* document = nullptr;
  TPersistent* object = nullptr;
  const TPropInfo* property = nullptr;
  std::shared_ptr<TPropertyEditor> editor;
  // "UpdateParams.TableName": the control's object name.
  QString path;
  // Shows the property's value again after a change was refused.
  std::function<void()> refresh;
};

// The value column's control for the row.
QWidget* MakePropertyControl(const PropertyRow& row, QWidget* parent);
// The check box of one element of a set property.
QWidget* MakeSetElementControl(const PropertyRow& row, int element, QWidget* parent);

}  // namespace tessel::designer
