#pragma once

// How the designer reports a failure: a modal warning box titled with the
// program's name, showing what the exception says (the silent EAbort shows
// nothing). Exceptions never pass into Qt's event loop: every handler of a
// control runs through Guarded. GUI thread only.

#include <exception>
#include <string>

class QWidget;

namespace tessel::designer {

void ShowError(QWidget* parent, const std::string& text);
void ShowError(QWidget* parent, const std::exception& error);

// Runs handler; what it raises is shown. Returns false when it raised.
template <class Handler>
bool Guarded(QWidget* parent, Handler&& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    ShowError(parent, error);
    return false;
  }
}

}  // namespace tessel::designer
