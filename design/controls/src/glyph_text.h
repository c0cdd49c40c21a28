#pragma once

// GlyphText lays out single lines of plain text in one font from the glyph
// and advance of each character, read from the font once, so that painting
// a page of grid cells does not shape every cell's text again. It covers the
// Latin letters and the common punctuation and currency signs; a text with
// any other character (another script, a combining mark, a character the
// font lacks, a control character) is refused, and the caller draws it the
// ordinary way, through QPainter::drawText, which shapes it and finds
// fallback fonts. Kerning and ligatures are not applied on this path.
//
// GlyphBatch gathers the glyphs of many texts of one colour and draws them
// with a single QPainter::drawGlyphRun.

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <vector>

namespace tessel::controls {

class GlyphBatch {
 public:
  void Clear() {
    glyphs_.clear();
    positions_.clear();
  }
  bool Empty() const { return glyphs_.empty(); }
  void Add(quint32 glyph, QPointF position) {
    glyphs_.push_back(glyph);
    positions_.push_back(position);
  }
  const std::vector<quint32>& Glyphs() const { return glyphs_; }
  const std::vector<QPointF>& Positions() const { return positions_; }
  // Draws the glyphs gathered in the painter's pen colour.
  void Draw(QPainter& painter, const QRawFont& font) const;

 private:
  std::vector<quint32> glyphs_;
  std::vector<QPointF> positions_;
};

class GlyphText {
 public:
  explicit GlyphText(const QFont& font);

  const QFont& Font() const { return font_; }
  const QRawFont& RawFont() const { return raw_; }
  // False when the font cannot be read as glyphs (or has spacing that needs
  // the shaper): every text then takes the ordinary path.
  bool Usable() const { return usable_; }
  qreal Ascent() const { return ascent_; }
  qreal Height() const { return height_; }

  // Adds text to batch on the baseline at y, within [left, right): at left,
  // or ending at right when align_right; a text wider than that is cut and
  // ends in "…". A text up to slack wider is not cut but overhangs (the
  // shaper's kerning would have made it fit). Returns false, adding nothing,
  // when the text needs the ordinary path.
  bool Add(QStringView text, qreal left, qreal right, qreal y, bool align_right, GlyphBatch& batch,
           qreal slack = 0) const;
  // The width Add gives text (uncut), or -1 when it would refuse the text.
  qreal Width(QStringView text) const;

 private:
  struct Glyph {
    quint32 index = 0;  // 0: not laid out here
    float advance = 0;
  };
  // Characters laid out here: U+0020..U+024F (Latin) and U+2000..U+20CF
  // (general punctuation and currency signs).
  static constexpr char16_t kLatinFirst = 0x20;
  static constexpr char16_t kLatinEnd = 0x250;
  static constexpr char16_t kSignsFirst = 0x2000;
  static constexpr char16_t kSignsEnd = 0x20D0;
  const Glyph* Find(char16_t c) const {
    if (c >= kLatinFirst && c < kLatinEnd) return &latin_[c - kLatinFirst];
    if (c >= kSignsFirst && c < kSignsEnd) return &signs_[c - kSignsFirst];
    return nullptr;
  }

  QFont font_;
  QRawFont raw_;
  bool usable_ = false;
  qreal ascent_ = 0;
  qreal height_ = 0;
  std::vector<Glyph> latin_;
  std::vector<Glyph> signs_;
  Glyph ellipsis_;
};

}  // namespace tessel::controls
