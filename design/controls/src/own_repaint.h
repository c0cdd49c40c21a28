#pragma once

// A new value in a spin box, a date edit or an editable combo box goes to
// its line edit, which repaints what it shows, and the control repaints
// itself whole as well: the frame and the buttons around the line edit,
// which a new value leaves as they were. WithoutOwnRepaint runs such a
// change with the control's own updates held back; its children still
// repaint what changes in them. Main thread only.

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
