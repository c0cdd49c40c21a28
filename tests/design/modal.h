#pragma once

// Working modal windows from a test. A dialog's Execute and a message box
// each run their own event loop; the test hands over what to do with the
// window before it opens, and the action runs from inside that loop.

#include <QApplication>
#include <QWidget>

#include <functional>
#include <string>

namespace tessel::testing {

// Runs `action` once on the next modal window for which `accepts` holds.
// A window that does not appear within five seconds fails the test and
// every modal window is closed, so a test never hangs.
void OnModalWindow(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> action);

template <class Window>
void OnModal(std::function<void(Window*)> action) {
  OnModalWindow([](QWidget* w) { return qobject_cast<Window*>(w) != nullptr; },
                [action](QWidget* w) { action(qobject_cast<Window*>(w)); });
}

// Closes the next message box and returns nothing; its text lands in `text`.
void AnswerNextMessage(std::string* text);

}  // namespace tessel::testing
