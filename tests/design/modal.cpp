#include "modal.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace tessel::testing {

void OnModalWindow(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, qApp, [=] {
    QWidget* window = QApplication::activeModalWidget();
    if (window != nullptr && window->isVisible() && accepts(window)) {
      timer->stop();
      timer->deleteLater();
      action(window);
      return;
    }
    if ((*waited += 10) < 5000) return;
    timer->stop();
    timer->deleteLater();
    ADD_FAILURE() << "the expected modal window did not appear";
    for (int i = 0; i < 10 && QApplication::activeModalWidget() != nullptr; ++i) {
      QApplication::activeModalWidget()->close();
    }
  });
  timer->start(10);
}

void AnswerNextMessage(std::string* text) {
  OnModal<QMessageBox>([text](QMessageBox* box) {
    if (text != nullptr) *text = box->text().toStdString();
    box->accept();
  });
}

}  // namespace tessel::testing
