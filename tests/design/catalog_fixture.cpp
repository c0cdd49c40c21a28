#include "catalog_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "framework/exceptions.h"

namespace tessel::testing {

void CatalogTest::SetUp() {
  IntegrationTest::SetUp();
  if (IsSkipped()) return;
  RequireConnections();
  form.SetName("Form1");
  query = new TTessel(&form);
  query->SetName("Tessel1");
  query->SetSQLServer(server.get());
}

void CatalogTest::TearDown() {
  form.DestroyComponents();
  IntegrationTest::TearDown();
}

void CatalogTest::MakeTable(const std::string& name, const std::string& columns) {
  try {
    server->InternalExecute("DROP TABLE " + name);
  } catch (const ElqSQLError&) {
    // It did not exist.
  }
  RequireStatement("CREATE TABLE " + name + " (" + columns + ")");
}

QStringList CatalogTest::Items(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

QStringList CatalogTest::Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

QStringList CatalogTest::Selected(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->isSelected()) items << list->item(i)->text();
  }
  return items;
}

void CatalogTest::Choose(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text, Qt::MatchExactly);
  ASSERT_GE(index, 0) << text.toStdString();
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

void CatalogTest::Toggle(QListWidget* list, const QString& text) {
  const auto items = list->findItems(text, Qt::MatchExactly);
  ASSERT_EQ(items.size(), 1) << text.toStdString();
  const QRect place = list->visualItemRect(items.front());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, place.center());
}

void CatalogTest::Click(const QWidget* window, const char* button) {
  QTest::mouseClick(Control<QPushButton>(window, button), Qt::LeftButton);
}

QStringList CatalogTest::Lines(const TStrings* lines) {
  QStringList out;
  for (int i = 0; i < lines->Count(); ++i) out << QString::fromStdString(lines->Get(i));
  return out;
}

void CatalogTest::ExpectDatabaseError(const std::function<void()>& action,
                                      const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error; expected: " << message;
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), message);
  }
}

void CatalogTest::ExpectLabels(const QWidget* window, const std::vector<LabelSpec>& labels) {
  for (const auto& [name, text, place] : labels) {
    const auto* label = Control<QLabel>(window, name);
    if (label == nullptr) continue;
    EXPECT_EQ(label->text(), text) << name;
    EXPECT_EQ(label->pos(), place) << name;
  }
}

}  // namespace tessel::testing
