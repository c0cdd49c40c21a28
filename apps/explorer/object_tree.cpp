#include "object_tree.h"

#include <QHeaderView>

#include "framework/exceptions.h"

namespace tessel::explorer {

namespace {

// What an item stands for, kept in its data.
enum ItemRole { kKindRole = Qt::UserRole, kDatabaseRole, kObjectRole, kFilledRole };
enum ItemKind { kDatabaseItem, kGroupItem, kObjectItem, kColumnItem };

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// An item whose children are read when it is first expanded.
void ReadLater(QTreeWidgetItem* item) {
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  item->setData(0, kFilledRole, false);
}

}  // namespace

ObjectTree::ObjectTree(TSQLServer* server, QWidget* parent)
    : QTreeWidget(parent), catalog_(server) {
  setHeaderHidden(true);
  setUniformRowHeights(true);  // lays out thousands of tables without measuring each
  setToolTip(tr("Double-click a table, view or procedure to write a statement for it"));
  connect(this, &QTreeWidget::itemExpanded, this, &ObjectTree::Expand);
  connect(this, &QTreeWidget::itemActivated, this, &ObjectTree::Choose);
}

ObjectTree::~ObjectTree() = default;

template <typename Read>
bool ObjectTree::Reading(Read read) {
  try {
    read();
    return true;
  } catch (const Exception& error) {
    emit CatalogFailed(tr("The catalog could not be read: %1").arg(Q(error.Message())));
  }
  return false;
}

bool ObjectTree::Load() {
  clear();
  objects_ = 0;
  std::vector<std::string> databases;
  if (!Reading([&] {
        databases = catalog_.Databases();
        current_ = catalog_.CurrentDatabase();
      }))
    return false;
  QTreeWidgetItem* current = nullptr;
  for (const std::string& name : databases) {
    auto* item = new QTreeWidgetItem(this, {Q(name)});
    item->setData(0, kKindRole, kDatabaseItem);
    item->setData(0, kDatabaseRole, Q(name));
    ReadLater(item);
    if (name == current_) current = item;
  }
  if (current != nullptr) {
    QFont bold = current->font(0);
    bold.setBold(true);
    current->setFont(0, bold);
    current->setExpanded(true);  // reads its objects (Expand)
    for (int i = 0; i < current->childCount(); ++i) current->child(i)->setExpanded(true);
    setCurrentItem(current);
  }
  return true;
}

QTreeWidgetItem* ObjectTree::Find(const QString& database, const QString& object) const {
  for (int d = 0; d < topLevelItemCount(); ++d) {
    QTreeWidgetItem* item = topLevelItem(d);
    if (item->text(0) != database) continue;
    if (object.isEmpty()) return item;
    for (int g = 0; g < item->childCount(); ++g) {
      QTreeWidgetItem* group = item->child(g);
      for (int o = 0; o < group->childCount(); ++o) {
        if (group->child(o)->data(0, kObjectRole).toString() == object) return group->child(o);
      }
    }
  }
  return nullptr;
}

void ObjectTree::Expand(QTreeWidgetItem* item) {
  if (item->data(0, kFilledRole).toBool()) return;
  item->setData(0, kFilledRole, true);
  const int kind = item->data(0, kKindRole).toInt();
  if (kind == kDatabaseItem) FillDatabase(item);
  if (kind == kObjectItem) FillColumns(item);
}

void ObjectTree::FillDatabase(QTreeWidgetItem* database) {
  const std::string name = database->data(0, kDatabaseRole).toString().toStdString();
  std::vector<CatalogObject> objects;
  if (!Reading([&] { objects = catalog_.Objects(name); })) {
    database->setData(0, kFilledRole, false);  // tried again on the next expand
    return;
  }
  const QString group_names[] = {tr("Tables"), tr("Views"), tr("Procedures")};
  QTreeWidgetItem* groups[3] = {};
  QList<QTreeWidgetItem*> members[3];
  for (const CatalogObject& object : objects) {
    const int g = static_cast<int>(object.kind);
    auto* item = new QTreeWidgetItem({Q(object.name)});
    item->setData(0, kKindRole, kObjectItem);
    item->setData(0, kDatabaseRole, Q(name));
    item->setData(0, kObjectRole, Q(object.name));
    if (object.kind != ObjectKind::kProcedure) ReadLater(item);
    members[g].append(item);
  }
  for (int g = 0; g < 3; ++g) {
    groups[g] =
        new QTreeWidgetItem(database, {tr("%1 (%2)").arg(group_names[g]).arg(members[g].size())});
    groups[g]->setData(0, kKindRole, kGroupItem);
    groups[g]->setData(0, kObjectRole, g);
    // Added at once: one layout for thousands of tables.
    groups[g]->addChildren(members[g]);
  }
  objects_ += static_cast<int>(objects.size());
}

void ObjectTree::FillColumns(QTreeWidgetItem* object) {
  const std::string database = object->data(0, kDatabaseRole).toString().toStdString();
  const std::string name = object->data(0, kObjectRole).toString().toStdString();
  std::vector<CatalogColumn> columns;
  if (!Reading([&] { columns = catalog_.Columns(database, name); })) {
    object->setData(0, kFilledRole, false);
    return;
  }
  QList<QTreeWidgetItem*> items;
  for (const CatalogColumn& column : columns) {
    auto* item = new QTreeWidgetItem(
        {tr("%1  %2%3")
             .arg(Q(column.name), Q(column.type), column.nullable ? QString() : tr(", not null"))});
    item->setData(0, kKindRole, kColumnItem);
    item->setData(0, kDatabaseRole, Q(database));
    item->setData(0, kObjectRole, Q(column.name));
    items.append(item);
  }
  object->addChildren(items);
  if (items.isEmpty()) object->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void ObjectTree::Choose(QTreeWidgetItem* item) {
  const int kind = item->data(0, kKindRole).toInt();
  const std::string database = item->data(0, kDatabaseRole).toString().toStdString();
  if (kind == kObjectItem) {
    const auto group = static_cast<ObjectKind>(item->parent()->data(0, kObjectRole).toInt());
    const CatalogObject object{item->data(0, kObjectRole).toString().toStdString(), group};
    emit StatementChosen(Q(StatementFor(current_, database, object)));
  } else if (kind == kColumnItem) {
    const std::string table = item->parent()->data(0, kObjectRole).toString().toStdString();
    emit StatementChosen(Q("SELECT " +
                           QuoteName(item->data(0, kObjectRole).toString().toStdString()) +
                           " FROM " + ObjectReference(current_, database, table)));
  }
}

}  // namespace tessel::explorer
