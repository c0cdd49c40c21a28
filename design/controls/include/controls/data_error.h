#pragma once

// How the data-aware controls tell the user that the dataset refused an
// operation (a failed post, a value the field does not accept). The default
// shows a warning box; tests and programs may install their own handler.
// Main thread only.

#include <QString>
#include <functional>

class QWidget;

namespace tessel::controls {

using DataErrorHandler = std::function<void(QWidget* parent, const QString& message)>;

// Shows message through the installed handler.
void ShowDataError(QWidget* parent, const QString& message);
// Installs handler (nullptr: the warning box again); returns the previous one.
DataErrorHandler SetDataErrorHandler(DataErrorHandler handler);

// Asks the user to confirm; the default is a question box. Tests may answer.
using ConfirmHandler = std::function<bool(QWidget* parent, const QString& question)>;
bool Confirm(QWidget* parent, const QString& question);
ConfirmHandler SetConfirmHandler(ConfirmHandler handler);

// Runs action; an exception of the framework becomes ShowDataError and false.
bool RunReportingErrors(QWidget* parent, const std::function<void()>& action);

}  // namespace tessel::controls
