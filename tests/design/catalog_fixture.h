#pragma once

// The base of the tests of the catalog dialogs: tables on the test server, a
// query on a form attached to a closed connection component, and helpers
// that work the dialogs' controls the way a designer does.

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>

#include "framework/component.h"
#include "runtime/Tessel.h"
#include "test_server.h"

namespace tessel::testing {

class CatalogTest : public IntegrationTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Drops the table if it exists and creates it; the name is written as
  // given, so a bracketed name may be passed.
  void MakeTable(const std::string& name, const std::string& columns);

  template <class W>
  static W* Control(const QWidget* window, const char* name) {
    W* control = window->findChild<W*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  static QStringList Items(const QComboBox* combo);
  static QStringList Items(const QListWidget* list);
  static QStringList Selected(const QListWidget* list);
  // Chooses an entry as a user does, by its text.
  static void Choose(QComboBox* combo, const QString& text);
  // Ctrl+click on an entry: selects or deselects it, keeping the others.
  static void Toggle(QListWidget* list, const QString& text);

  TComponent form{nullptr};
  TTessel* query = nullptr;
};

}  // namespace tessel::testing
