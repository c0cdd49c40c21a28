#pragma once

// The common face of the design-time dialogs: fixed pixel positions as the
// forms were laid out, the small sans-serif font they were laid out for, and
// the few screen services the dialogs use (wait cursor, plain message box,
// errors shown instead of passed into Qt's event loop). GUI thread only.

#include <QString>

#include <exception>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace tessel::design {

// The 11-pixel sans-serif font the control positions were chosen for; a
// narrow face where the original one is missing, so that captions fit.
void SetFormFont(QWidget* form);
// Sizes a form so that, with an ordinary dialog frame around it, it measures
// width x height on screen; the client area is what the controls are laid in.
void SetFormSize(QWidget* form, int width, int height);
// Centres a form on the screen it will appear on.
void CentreOnScreen(QWidget* form);
void Place(QWidget* control, int left, int top, int width, int height);
// A push button with its caption and place.
QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                       int width, int height);
// A label sized to its caption, at left, top.
QLabel* AddLabel(QWidget* parent, const char* name, const QString& caption, int left, int top);

QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// A plain modal message box titled with the application's name.
void ShowMessage(QWidget* parent, const std::string& text);
// Shows what an exception says; the silent EAbort shows nothing.
void ShowException(QWidget* parent, const std::exception& error);

// Runs a handler of a control's event. An exception must not travel through
// Qt's event loop, so it is shown here, as the application would show it.
template <class Handler>
void Guarded(QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(parent, error);
  }
}

// The hourglass while the catalog is read; the cursor comes back on every exit.
class TlqWaitCursor {
 public:
  TlqWaitCursor();
  ~TlqWaitCursor();
  TlqWaitCursor(const TlqWaitCursor&) = delete;
  TlqWaitCursor& operator=(const TlqWaitCursor&) = delete;
};

}  // namespace tessel::design
