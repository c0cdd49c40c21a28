#pragma once

// A one-line status text that never asks for more room than it is given:
// a long message (a server error) is cut with an ellipsis to the width the
// layout leaves it, so the controls beside it keep their size and the window
// does not grow. The whole text is the tool tip and FullText. GUI thread
// only.

#include <QLabel>

namespace tessel::designer {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  // Shows text, cut to the label's width.
  void SetFullText(const QString& text);
  const QString& FullText() const { return full_text_; }

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();

  QString full_text_;
};

}  // namespace tessel::designer
