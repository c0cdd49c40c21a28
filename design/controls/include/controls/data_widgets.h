#pragma once

// Every data-aware widget class, with what a loader of .ui files or a Qt
// Designer plugin needs to offer it: its class name as moc spells it, the
// header to include, a line saying what it is for, and how to make one.
// Main thread only.

#include <QString>
#include <span>

class QWidget;

namespace tessel::controls {

struct DataWidgetClass {
  const char* class_name;  // "tessel::controls::DataLineEdit"
  const char* header;      // "controls/data_edits.h"
  const char* tool_tip;
  QWidget* (*create)(QWidget* parent);
};

std::span<const DataWidgetClass> DataWidgetClasses();
// The class of name, given with or without its namespace; null when none.
const DataWidgetClass* FindDataWidgetClass(const QString& name);

}  // namespace tessel::controls
