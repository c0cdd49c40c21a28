#include "form_face.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "framework/exceptions.h"

namespace tessel::design {
namespace {

// An ordinary dialog frame: a 4-pixel border and a 19-pixel caption bar.
constexpr int kFrameWidth = 2 * 4;
constexpr int kFrameHeight = 2 * 4 + 19;

}  // namespace

void SetFormFont(QWidget* form) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans Condensed", "DejaVu Sans",
                    "Sans Serif"});
  font.setPixelSize(11);
  form->setFont(font);
}

void SetFormSize(QWidget* form, int width, int height) {
  form->setFixedSize(width - kFrameWidth, height - kFrameHeight);
}

void CentreOnScreen(QWidget* form) {
  const QScreen* screen =
      form->screen() != nullptr ? form->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame(QPoint(0, 0), form->size() + QSize(kFrameWidth, kFrameHeight));
  frame.moveCenter(screen->availableGeometry().center());
  form->move(frame.topLeft());
}

void Place(QWidget* control, int left, int top, int width, int height) {
  control->setGeometry(left, top, width, height);
}

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                       int width, int height) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  Place(button, left, top, width, height);
  return button;
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QString ToQ(const std::string& text) {
  return QString::fromStdString(text);
}

std::string FromQ(const QString& text) {
  return text.toStdString();
}

void ShowMessage(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), ToQ(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

void ShowException(QWidget* parent, const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  const auto* known = dynamic_cast<const Exception*>(&error);
  const std::string text = known != nullptr ? known->Message() : std::string(error.what());
  QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), ToQ(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

TlqWaitCursor::TlqWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

TlqWaitCursor::~TlqWaitCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace tessel::design
