#include "error_box.h"

#include <QMessageBox>

#include "framework/exceptions.h"

namespace tessel::designer {

void ShowError(QWidget* parent, const std::string& text) {
  QMessageBox::warning(parent, "Tessel Designer", QString::fromStdString(text));
}

void ShowError(QWidget* parent, const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  ShowError(parent, std::string(error.what()));
}

}  // namespace tessel::designer
