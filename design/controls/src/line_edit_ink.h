#pragma once

// Where a QLineEdit draws a text: the top of the line it places the text on
// and the rows of its contents rectangle that the glyphs' boxes cover,
// computed as QLineEdit places the line when it paints. A control that gives
// the edit a new text can then repaint those rows alone, and not the rows
// where the style shades the inside of the frame, which do not change and
// cost more to draw than the text does. Main thread only.

#include <QRect>

class QLineEdit;
class QString;

namespace tessel::controls {

// Whether a new text changes nothing in edit but the glyphs of the old and
// the new text and the cursor: no selection or placeholder is shown, the
// text is shown as it is (no echo mode, no input mask), and the font draws no
// line (underline, overline, strike-out) of its own across the text.
bool OnlyGlyphsAndCursorChangeWithText(const QLineEdit& edit);

// Whether the glyphs of text stay inside the box the font metrics give them:
// true for text in the Latin, Greek, Cyrillic and Armenian letters and the
// common punctuation and currency signs, without combining marks, which the
// shaper stacks above and below the box, nor control or format characters.
bool GlyphsStayInTheirBox(const QString& text);

struct TextPlace {
  int line_top = 0;  // the top of the line's box, as the edit sizes it
  QRect glyph_rows;  // whole rows of contents where glyphs are drawn; empty for no text
};

// Where edit places text inside contents (its contents rectangle); the
// glyphs' rows have a pixel more above and below for rounding.
TextPlace PlaceText(const QLineEdit& edit, const QRect& contents, const QString& text);

// The rows of contents that rect covers, across the whole width.
QRect RowsOf(const QRect& rect, const QRect& contents);

}  // namespace tessel::controls
