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
// of its children) while it runs; whatever change alters in what widget
// itself paints, the caller repaints.
template <typename Change>
void WithoutOwnRepaint(QWidget& widget, Change&& change) {
  // Hidden, or held back already: nothing to spare, or not ours to lift.
  if (!widget.isVisible() || widget.testAttribute(Qt::WA_UpdatesDisabled)) {
    change();
    return;
  }
  // Lifted again however change ends: a widget left with updates held back
  // would never paint again.
  struct HoldBack {
    QWidget& widget;
    explicit HoldBack(QWidget& w) : widget(w) { widget.setAttribute(Qt::WA_UpdatesDisabled, true); }
    ~HoldBack() { widget.setAttribute(Qt::WA_UpdatesDisabled, false); }
    HoldBack(const HoldBack&) = delete;
    HoldBack& operator=(const HoldBack&) = delete;
  } hold(widget);
  change();
}

}  // namespace tessel::controls
