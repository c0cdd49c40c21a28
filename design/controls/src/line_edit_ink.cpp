#include "line_edit_ink.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <algorithm>

namespace tessel::controls {

namespace {

// The pixel QLineEdit leaves between the contents and a line aligned to
// the top or to the bottom.
constexpr int kLineMargin = 1;

}  // namespace

bool OnlyGlyphsAndCursorChangeWithText(const QLineEdit& edit) {
  const QFont font = edit.font();
  return !edit.hasSelectedText() && edit.placeholderText().isEmpty() &&
         edit.echoMode() == QLineEdit::Normal && edit.inputMask().isEmpty() && !font.underline() &&
         !font.overline() && !font.strikeOut();
}

bool GlyphsStayInTheirBox(const QString& text) {
  for (const QChar c : text) {
    const char16_t code = c.unicode();
    const bool known = (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code < 0x590) ||
                       (code >= 0x2010 && code < 0x2028) || (code >= 0x2030 && code < 0x205F) ||
                       (code >= 0x20A0 && code < 0x20C1);
    if (!known || c.isMark() || c.category() == QChar::Other_Format) return false;
  }
  return true;
}

TextPlace PlaceText(const QLineEdit& edit, const QRect& contents, const QString& text) {
  const QFontMetrics metrics = edit.fontMetrics();
  // From the baseline, the font's ascent and descent and every glyph's box:
  // the box the edit sizes its line by (glyphs taller than the font move
  // the line), and the rows the glyphs are drawn in.
  const QRect ink = metrics.boundingRect(text);
  const QMargins margins = edit.textMargins();
  const int room_top = contents.top() + margins.top();
  const int room = contents.height() - margins.top() - margins.bottom();
  const int line_height = std::max(ink.height(), metrics.height());
  TextPlace place;
  switch (edit.alignment() & Qt::AlignVertical_Mask) {
    case Qt::AlignTop:
      place.line_top = room_top + kLineMargin;
      break;
    case Qt::AlignBottom:
      place.line_top = room_top + room - line_height - kLineMargin;
      break;
    default:
      place.line_top = room_top + (room - line_height + 1) / 2;
      break;
  }
  if (ink.isEmpty()) return place;
  const int baseline = place.line_top + metrics.ascent();
  place.glyph_rows = RowsOf(ink.translated(0, baseline).adjusted(0, -1, 0, 1), contents);
  return place;
}

QRect RowsOf(const QRect& rect, const QRect& contents) {
  if (rect.isEmpty()) return {};
  return QRect(contents.left(), rect.top(), contents.width(), rect.height()) & contents;
}

}  // namespace tessel::controls
