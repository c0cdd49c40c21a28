#pragma once

// Painting in horizontal bands of a few dozen lines. Qt's raster engine hands
// a fill or gradient of more lines to its thread pool; for a widget repainted
// on every scroll step, waking and waiting for those threads costs more than
// the painting itself. Clipped to a band, the same painting stays on this
// thread and gives the same pixels.

#include <QImage>
#include <QRect>
#include <QScrollBar>

class QBrush;
class QPainter;

namespace tessel::controls {

inline constexpr int kPaintBand = 64;

// Fills rect with brush, a band at a time.
void FillInBands(QPainter& painter, const QRect& rect, const QBrush& brush);

// A scroll bar that the style draws once per band of its height. While the
// mouse is over it or it is pressed, QScrollBar draws it, since only
// QScrollBar knows which part is hovered or pressed.
class BandedScrollBar : public QScrollBar {
 public:
  explicit BandedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr)
      : QScrollBar(orientation, parent) {}

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage band_;
};

}  // namespace tessel::controls
