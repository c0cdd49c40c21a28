#include "glyph_text.h"

#include <QGlyphRun>

namespace tessel::controls {

namespace {

// Characters the shaper treats specially: control characters, the soft
// hyphen, zero-width and direction marks, line and paragraph separators.
bool NeedsShaper(char16_t c) {
  return c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F);
}

constexpr char16_t kEllipsis = 0x2026;

}  // namespace

void GlyphBatch::Draw(QPainter& painter, const QRawFont& font) const {
  if (glyphs_.empty()) return;
  QGlyphRun run;
  run.setRawFont(font);
  run.setRawData(glyphs_.data(), positions_.data(), int(glyphs_.size()));
  painter.drawGlyphRun(QPointF(0, 0), run);
}

GlyphText::GlyphText(const QFont& font) : font_(font), raw_(QRawFont::fromFont(font)) {
  const QFontMetricsF metrics(font);
  ascent_ = metrics.ascent();
  height_ = metrics.height();
  usable_ = raw_.isValid() && font.letterSpacing() == 0 && font.wordSpacing() == 0 &&
            font.capitalization() == QFont::MixedCase;
  if (!usable_) return;
  const auto read = [this](char16_t first, char16_t end, std::vector<Glyph>& table) {
    const int count = end - first;
    std::vector<QChar> chars(count);
    for (int i = 0; i < count; ++i) chars[i] = QChar(char16_t(first + i));
    std::vector<quint32> indexes(count, 0);
    int found = count;
    if (!raw_.glyphIndexesForChars(chars.data(), count, indexes.data(), &found) || found != count)
      indexes.assign(count, 0);
    std::vector<QPointF> advances(count);
    raw_.advancesForGlyphIndexes(indexes.data(), advances.data(), count);
    table.resize(count);
    for (int i = 0; i < count; ++i) {
      if (indexes[i] == 0 || NeedsShaper(char16_t(first + i))) continue;
      table[i].index = indexes[i];
      table[i].advance = float(advances[i].x());
    }
  };
  read(kLatinFirst, kLatinEnd, latin_);
  read(kSignsFirst, kSignsEnd, signs_);
  ellipsis_ = *Find(kEllipsis);
}

qreal GlyphText::Width(QStringView text) const {
  if (!usable_) return -1;
  qreal width = 0;
  for (QChar c : text) {
    const Glyph* glyph = Find(c.unicode());
    if (glyph == nullptr || glyph->index == 0) return -1;
    width += glyph->advance;
  }
  return width;
}

bool GlyphText::Add(QStringView text, qreal left, qreal right, qreal y, bool align_right,
                    GlyphBatch& batch, qreal slack) const {
  const qreal width = Width(text);
  if (width < 0) return false;
  const qreal room = right - left;
  if (width <= room + slack) {
    qreal x = align_right ? right - width : left;
    for (QChar c : text) {
      const Glyph* glyph = Find(c.unicode());
      batch.Add(glyph->index, QPointF(x, y));
      x += glyph->advance;
    }
    return true;
  }
  // Too wide: as many characters as leave room for the ellipsis, then the
  // ellipsis; nothing when not even that fits.
  if (ellipsis_.index == 0) return false;
  if (ellipsis_.advance > room) return true;
  qreal x = left;
  for (QChar c : text) {
    const Glyph* glyph = Find(c.unicode());
    if (x + glyph->advance + ellipsis_.advance > right) break;
    batch.Add(glyph->index, QPointF(x, y));
    x += glyph->advance;
  }
  batch.Add(ellipsis_.index, QPointF(x, y));
  return true;
}

}  // namespace tessel::controls
