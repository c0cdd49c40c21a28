#include "controls/data_error.h"

#include <QMessageBox>
#include <exception>

#include "framework/exceptions.h"

namespace tessel::controls {

namespace {

DataErrorHandler& ErrorHandler() {
  static DataErrorHandler handler;
  return handler;
}

ConfirmHandler& ConfirmAnswer() {
  static ConfirmHandler handler;
  return handler;
}

}  // namespace

void ShowDataError(QWidget* parent, const QString& message) {
  if (ErrorHandler()) {
    ErrorHandler()(parent, message);
    return;
  }
  QMessageBox::warning(parent, QObject::tr("Tessel"), message);
}

DataErrorHandler SetDataErrorHandler(DataErrorHandler handler) {
  return std::exchange(ErrorHandler(), std::move(handler));
}

bool Confirm(QWidget* parent, const QString& question) {
  if (ConfirmAnswer()) return ConfirmAnswer()(parent, question);
  return QMessageBox::question(parent, QObject::tr("Confirm"), question,
                               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

ConfirmHandler SetConfirmHandler(ConfirmHandler handler) {
  return std::exchange(ConfirmAnswer(), std::move(handler));
}

bool RunReportingErrors(QWidget* parent, const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const EAbort&) {
    return false;  // stopped on purpose: nothing to tell
  } catch (const Exception& e) {
    ShowDataError(parent, QString::fromStdString(e.Message()));
  } catch (const std::exception& e) {
    ShowDataError(parent, QString::fromStdString(e.what()));
  }
  return false;
}

}  // namespace tessel::controls
