#include "catalog_fixture.h"

#include <QTest>

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

}  // namespace tessel::testing
