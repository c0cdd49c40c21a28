#pragma once

// Base of the designer's tests: a designer window on an empty form, the test
// server's address for the login properties, and helpers that work the
// palette, the form and the property panel the way a user does.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <memory>
#include <string>

#include "designer_window.h"
#include "form_canvas.h"
#include "form_document.h"
#include "form_secrets.h"
#include "modal.h"
#include "palette.h"
#include "property_panel.h"
#include "test_server.h"

namespace tessel::testing {

class DesignerTest : public IntegrationTest {
 protected:
  void SetUp() override {
    IntegrationTest::SetUp();
    window = std::make_unique<designer::DesignerWindow>();
    // The defaults, whatever the settings of whoever runs the tests say.
    window->SetSettings({});
    window->show();
  }
  void TearDown() override {
    window.reset();
    IntegrationTest::TearDown();
  }

  designer::FormDocument& Document() const { return window->Document(); }
  designer::PropertyPanel& Properties() const { return *window->Properties(); }

  // Double-clicks the palette button of the class: a component in the next
  // free place.
  TComponent* PlaceFromPalette(const char* class_name) {
    QToolButton* button = window->ComponentPalette()->Button(class_name);
    EXPECT_NE(button, nullptr) << class_name;
    if (button == nullptr) return nullptr;
    const TComponent* before = Document().Selected();
    QTest::mouseDClick(button, Qt::LeftButton);
    Settle();
    return Document().Selected() != before ? Document().Selected() : nullptr;
  }
  void Select(TComponent* component) {
    QTest::mouseClick(window->Canvas()->Icon(component), Qt::LeftButton);
    Settle();
  }
  // Drags the component's icon by `by` with the left button.
  void Drag(TComponent* component, QPoint by) {
    designer::ComponentIcon* icon = window->Canvas()->Icon(component);
    ASSERT_NE(icon, nullptr);
    const QPoint grip(10, 10);
    QTest::mousePress(icon, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + by), icon->mapToGlobal(QPointF(grip + by)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(icon, &move);
    // The icon moved under the pointer: the grip is where it was pressed.
    QTest::mouseRelease(icon, Qt::LeftButton, {}, grip);
    Settle();
  }
  // A component of the designed form by name (undo rebuilds the components).
  TComponent* Named(const char* name) const { return Document().Root()->FindComponent(name); }
  // The window's menu action of that object name.
  QAction* Action(const char* name) const { return window->findChild<QAction*>(name); }
  // Lets the property panel rebuild its rows after a change.
  static void Settle() { QApplication::processEvents(); }

  // The control of a property, its row made visible.
  template <class W>
  W* Editor(const char* path) {
    if (QTreeWidgetItem* row = Properties().Row(path); row != nullptr && row->parent() != nullptr) {
      row->parent()->setExpanded(true);
    }
    auto* control = qobject_cast<W*>(Properties().Editor(path));
    EXPECT_NE(control, nullptr) << path;
    return control;
  }
  // Types into a property's text and ends the editing with Return.
  void Type(const char* path, const std::string& text) {
    QLineEdit* edit = Editor<QLineEdit>(path);
    if (edit == nullptr) return;
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
    QTest::keyClick(edit, Qt::Key_Return);
    Settle();
  }
  // Types into an editable drop-down (an event's handler name; "" clears
  // it) and ends the editing with Return.
  void TypeInList(const char* path, const std::string& text) {
    QComboBox* list = Editor<QComboBox>(path);
    if (list == nullptr) return;
    ASSERT_NE(list->lineEdit(), nullptr) << path << " cannot be typed into";
    list->lineEdit()->selectAll();
    if (text.empty()) {
      QTest::keyClick(list->lineEdit(), Qt::Key_Delete);
    } else {
      QTest::keyClicks(list->lineEdit(), QString::fromStdString(text));
    }
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    Settle();
  }
  void Choose(const char* path, const QString& text) {
    QComboBox* list = Editor<QComboBox>(path);
    if (list == nullptr) return;
    const int index = list->findText(text);
    ASSERT_GE(index, 0) << path << ": " << text.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
    Settle();
  }
  void Check(const char* path) {
    auto* box = Editor<QCheckBox>(path);
    if (box == nullptr) return;
    // On the box itself: the control is as wide as the column.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    Settle();
  }
  // The ellipsis button of a property.
  QToolButton* Ellipsis(const char* path) {
    QWidget* control = Properties().Editor(path);
    return control != nullptr ? control->findChild<QToolButton*>("edit") : nullptr;
  }
  static QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
  }
  // Saves the form; the notice a form holding a password brings the first
  // time is closed.
  bool SaveWithPassword(const QString& file) {
    if (!designer::PasswordHolders(Document().Text()).empty()) AnswerNextMessage(nullptr);
    return window->SaveForm(file);
  }
  // A fresh path for a form file of this test.
  static QString TempForm(const char* name) {
    return QString::fromStdString(::testing::TempDir()) + name + ".tfm";
  }

  std::unique_ptr<designer::DesignerWindow> window;
};

}  // namespace tessel::testing
