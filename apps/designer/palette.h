#pragma once

// The component palette: one tab per page the packages registered (the
// "Tessel" page first, then the others in registration order), one button
// per component class. A click arms the class, so that the next click on
// the form places it there; a second click disarms it; a double click asks
// for the class to be placed at once. GUI thread only.

#include <QTabWidget>

class QToolButton;

namespace tessel {
class TClassInfo;
}

namespace tessel::designer {

class Palette : public QTabWidget {
  Q_OBJECT

 public:
  explicit Palette(QWidget* parent = nullptr);

  // Rebuilds the pages from the designer's registry.
  void Reload();
  // The button of a class (named after it), or null.
  QToolButton* Button(const QString& class_name) const;
  const TClassInfo* Armed() const { return armed_; }
  void Disarm();

 signals:
  void ArmedChanged(const TClassInfo* info);
  void PlaceRequested(const TClassInfo* info);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Arm(const TClassInfo* info, QToolButton* button);

  const TClassInfo* armed_ = nullptr;
};

}  // namespace tessel::designer
