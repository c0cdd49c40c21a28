#pragma once

// A control given a new value repaints itself whole, though most of what it
// draws (the frame of a line edit, the frame and buttons around a spin box's,
// a date edit's or an editable combo box's line edit) shows nothing of the
// value. WithoutOwnRepaint runs such a change with the control's own updates
// held back, for the caller to repaint what the value does change; children
// (the line edit inside a spin box) still repaint what changes in them.
// Main thread only.

#include <QWidget>

namespace tessel::controls {

// Runs change, holding back the updates widget asks of itself (not those
// of its children) while it runs; changes what widget paints must be
// repainted by the caller.
template <typename Change>
void WithoutOwnRepaint(QWidget& widget, Change&& change) {
  // Hidden, or held back already: nothing to spare, or not ours to lift.
  if (!widget.isVisible() || widget.testAttribute(Qt::WA_UpdatesDisabled)) {
    change();
    return;
  }
  widget.setAttribute(Qt::WA_UpdatesDisabled, true);
  change();
  widget.setAttribute(Qt::WA_UpdatesDisabled, false);
}

}  // namespace tessel::controls
