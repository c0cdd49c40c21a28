#pragma once

// The explorer's window on a test server: made and shown for each test, with
// data errors collected rather than shown in a box; helpers to make tables,
// press buttons and read cells.

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "controls/data_error.h"
#include "explorer_window.h"
#include "test_server.h"

namespace tessel::testing {

using explorer::ExplorerWindow;

class ExplorerTest : public IntegrationTest {
 protected:
  void SetUp() override {
    IntegrationTest::SetUp();
    if (IsSkipped()) return;
    RequireConnections();
    if (IsSkipped()) return;
    auto own = NewSQLServer(*address);
    own->Open();
    window = std::make_unique<ExplorerWindow>(std::move(own));
    window->show();
    previous_handler = controls::SetDataErrorHandler(
        [this](QWidget*, const QString& message) { errors.push_back(message); });
  }
  void TearDown() override {
    if (window != nullptr) controls::SetDataErrorHandler(previous_handler);
    window.reset();
    IntegrationTest::TearDown();
  }

  // (id int primary key, name varchar(20)) holding 1, 'one' ... count.
  void MakeTable(const std::string& table, int count) {
    server->InternalExecute("IF OBJECT_ID('" + table + "') IS NOT NULL DROP TABLE " + table);
    server->InternalExecute("CREATE TABLE " + table + " (id int PRIMARY KEY, name varchar(20))");
    for (int i = 1; i <= count; ++i) {
      server->InternalExecute("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", 'row" +
                              std::to_string(i) + "')");
    }
  }

  QPushButton* Button(const QString& caption) const {
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
      if (button->text() == caption) return button;
    }
    ADD_FAILURE() << "no button " << caption.toStdString();
    return nullptr;
  }

  // Clicks the button and waits until the statement has ended.
  bool ClickAndWait(const QString& caption) {
    QSignalSpy finished(window.get(), &ExplorerWindow::Finished);
    QTest::mouseClick(Button(caption), Qt::LeftButton);
    return !finished.isEmpty() || finished.wait(30000);
  }

  QString Cell(int row, int column) const {
    auto* model = window->Grid()->Model();
    return model->data(model->index(row, column)).toString();
  }

  std::unique_ptr<ExplorerWindow> window;
  std::vector<QString> errors;
  controls::DataErrorHandler previous_handler;
};

}  // namespace tessel::testing
