#include "banded_paint.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace tessel::controls {

void FillInBands(QPainter& painter, const QRect& rect, const QBrush& brush) {
  for (int top = rect.top(); top <= rect.bottom(); top += kPaintBand) {
    painter.fillRect(
        QRect(rect.left(), top, rect.width(), std::min(kPaintBand, rect.bottom() + 1 - top)),
        brush);
  }
}

void BandedScrollBar::paintEvent(QPaintEvent* event) {
  if (isSliderDown() || underMouse() || event->rect().height() <= kPaintBand) {
    QScrollBar::paintEvent(event);
    return;
  }
  // The groove is the one tall fill: it is drawn a band at a time, each into
  // a picture of the band (the style sets clips of its own inside the groove,
  // which a clip on this painter would not bound), then the buttons and the
  // handle over it in one go, in the order the style draws them.
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls = QStyle::SC_ScrollBarGroove;
  QPainter painter(this);
  const QRect area = event->rect();
  const qreal ratio = devicePixelRatioF();
  for (int top = area.top(); top <= area.bottom(); top += kPaintBand) {
    const int height = std::min(kPaintBand, area.bottom() + 1 - top);
    if (band_.width() != qRound(width() * ratio) || band_.height() != qRound(height * ratio)) {
      band_ = QImage(qRound(width() * ratio), qRound(height * ratio),
                     QImage::Format_ARGB32_Premultiplied);
      band_.setDevicePixelRatio(ratio);
    }
    band_.fill(Qt::transparent);
    {
      QPainter band_painter(&band_);
      band_painter.translate(0, -top);
      style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &band_painter, this);
    }
    painter.drawImage(QPoint(0, top), band_);
  }
  option.subControls =
      QStyle::SubControls(QStyle::SC_All) & ~QStyle::SubControls(QStyle::SC_ScrollBarGroove);
  style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

}  // namespace tessel::controls
