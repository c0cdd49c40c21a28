#include "elided_label.h"

#include <QResizeEvent>

namespace tessel::designer {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

void ElidedLabel::SetFullText(const QString& text) {
  full_text_ = text;
  setToolTip(text);
  Elide();
}

QSize ElidedLabel::minimumSizeHint() const {
  return {0, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const {
  return {fontMetrics().averageCharWidth() * 20, fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidedLabel::Elide() {
  // Server messages may hold line breaks: one line here, all of it on demand.
  QString line = full_text_;
  line.replace('\n', ' ');
  setText(fontMetrics().elidedText(line, Qt::ElideRight, std::max(0, width())));
}

}  // namespace tessel::designer
