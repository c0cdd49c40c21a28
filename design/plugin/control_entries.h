#pragma once

// The data-aware controls Qt Designer offers: one entry per control with
// what its widget box shows (name, header, tool tip) and how to make one.
// Adding a control to the box is adding its entry to kControlEntries.

#include <QWidget>
#include <span>

namespace tessel::designer_plugin {

struct ControlEntry {
  const char* class_name;  // with namespace, as uic writes it into generated code
  const char* header;      // as an #include names it: "controls/data_edits.h"
  const char* tool_tip;
  bool is_container;
  QWidget* (*create)(QWidget* parent);
};

std::span<const ControlEntry> ControlEntries();

}  // namespace tessel::designer_plugin
