#pragma once

// The base of the tests of the catalog dialogs: tables on the test server, a
// query on a form attached to a closed connection component, and helpers
// that work the dialogs' controls the way a designer does.

#include <QComboBox>
#include <QListWidget>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "framework/classes.h"
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
  // A click on the window's push button of that name.
  static void Click(const QWidget* window, const char* button);
  static QStringList Lines(const TStrings* lines);
  // Runs action, which must raise EDatabaseError with exactly this message.
  static void ExpectDatabaseError(const std::function<void()>& action, const std::string& message);
  // Each label's text and its place in the window.
  using LabelSpec = std::tuple<const char*, const char*, QPoint>;
  static void ExpectLabels(const QWidget* window, const std::vector<LabelSpec>& labels);

  TComponent form{nullptr};
  TTessel* query = nullptr;
};

// The update-parameters dialog and the SQL builder share the table list, the
// mode and the two column lists, under the same names.
template <class Dialog>
class CatalogDialogTest : public CatalogTest {
 protected:
  QComboBox* Tables() { return Control<QComboBox>(dialog.get(), "TableCombo"); }
  QComboBox* Mode() { return Control<QComboBox>(dialog.get(), "UpdateMode"); }
  QListWidget* Keys() { return Control<QListWidget>(dialog.get(), "KeyList"); }
  QListWidget* Fields() { return Control<QListWidget>(dialog.get(), "UpdateList"); }
  void Click(const char* button) { CatalogTest::Click(dialog.get(), button); }

  std::unique_ptr<Dialog> dialog;
};

}  // namespace tessel::testing
