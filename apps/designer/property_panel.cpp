#include "property_panel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "form_document.h"
#include "framework/component.h"
#include "framework/typinfo.h"
#include "property_controls.h"

namespace tessel::designer {

namespace {

constexpr int kPathRole = Qt::UserRole;

TPersistent* NestedObject(const TPropInfo& property, TPersistent& object) {
  if (property.type->kind != tkClass || !property.get_object) return nullptr;
  return property.get_object(object);
}

}  // namespace

PropertyPanel::PropertyPanel(FormDocument& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      components_(new QComboBox(this)),
      tree_(new QTreeWidget(this)) {
  setObjectName("PropertyPanel");
  components_->setObjectName("components");
  tree_->setColumnCount(2);
  tree_->setHeaderLabels({"Property", "Value"});
  tree_->header()->setSectionResizeMode(0, QHeaderView::Interactive);
  tree_->header()->resizeSection(0, 140);
  tree_->setAlternatingRowColors(true);
  tree_->setSelectionMode(QAbstractItemView::NoSelection);
  tree_->setUniformRowHeights(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(components_);
  layout->addWidget(tree_);

  connect(components_, &QComboBox::activated, this, [this](int index) {
    auto* component = static_cast<TComponent*>(components_->itemData(index).value<void*>());
    document_.Select(component == document_.Root() ? nullptr : component);
  });
  connect(tree_, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { expanded_.insert(item->data(0, kPathRole).toString()); });
  connect(tree_, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { expanded_.erase(item->data(0, kPathRole).toString()); });
  // A change may come from a control in the rows: rebuild once it returned.
  connect(&document_, &FormDocument::Changed, this, &PropertyPanel::ScheduleRebuild);
  // These never come from the rows, and the shown component may be going.
  connect(&document_, &FormDocument::SelectionChanged, this, &PropertyPanel::Rebuild);
  connect(&document_, &FormDocument::FormReplaced, this, &PropertyPanel::Rebuild);
  connect(&document_, &FormDocument::FormRestored, this, &PropertyPanel::Rebuild);
  connect(&document_, &FormDocument::ComponentRemoved, this, [this](TComponent* component) {
    tree_->clear();
    components_->clear();
    if (component != document_.Selected()) ScheduleRebuild();
  });
  Rebuild();
}

PropertyPanel::~PropertyPanel() = default;

QTreeWidgetItem* PropertyPanel::Row(const QString& path) const {
  for (QTreeWidgetItemIterator it(tree_); *it != nullptr; ++it) {
    if ((*it)->data(0, kPathRole).toString() == path) return *it;
  }
  return nullptr;
}

QWidget* PropertyPanel::Editor(const QString& path) const {
  QTreeWidgetItem* row = Row(path);
  return row != nullptr ? tree_->itemWidget(row, 1) : nullptr;
}

void PropertyPanel::ScheduleRebuild() {
  if (rebuild_pending_) return;
  rebuild_pending_ = true;
  QTimer::singleShot(0, this, [this] {
    if (rebuild_pending_) Rebuild();
  });
}

void PropertyPanel::Rebuild() {
  rebuild_pending_ = false;
  const int scrolled = tree_->verticalScrollBar()->value();
  tree_->clear();
  FillComponentList();
  TComponent* shown = document_.Selected() != nullptr ? document_.Selected() : document_.Root();
  if (const TClassInfo* info = ClassInfoOfObject(*shown)) AddProperties(nullptr, shown, info, {});
  tree_->verticalScrollBar()->setValue(scrolled);
}

void PropertyPanel::FillComponentList() {
  components_->clear();
  const auto add = [this](TComponent* component, const QString& indent) {
    const TClassInfo* info = ClassInfoOfObject(*component);
    components_->addItem(QString("%1%2: %3")
                             .arg(indent, QString::fromStdString(component->Name()),
                                  QString::fromStdString(info != nullptr ? info->Name() : "?")),
                         QVariant::fromValue(static_cast<void*>(component)));
  };
  // A dataset's fields follow it, indented.
  add(document_.Root(), {});
  for (TComponent* component : document_.Components()) {
    if (FormDocument::IsNested(component)) continue;
    add(component, {});
    for (TComponent* child : document_.Children(component)) add(child, QStringLiteral("    "));
  }
  TComponent* shown = document_.Selected() != nullptr ? document_.Selected() : document_.Root();
  components_->setCurrentIndex(
      components_->findData(QVariant::fromValue(static_cast<void*>(shown))));
}

void PropertyPanel::AddProperties(QTreeWidgetItem* parent, TPersistent* object,
                                  const TClassInfo* info, const QString& prefix) {
  // Events are kept apart under their own row, after every other property
  // in published order: their values are the names of handlers that the
  // application binds when it reads the form.
  for (const TPropInfo* property : info->Properties()) {
    if (property->type->kind != tkMethod) AddProperty(parent, object, property, prefix);
  }
  QTreeWidgetItem* events = nullptr;
  for (const TPropInfo* property : info->Properties()) {
    if (property->type->kind != tkMethod) continue;
    if (events == nullptr) {
      events = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
      events->setText(0, "Events");
      events->setData(0, kPathRole, prefix + "(Events)");
      events->setFirstColumnSpanned(true);
    }
    AddProperty(events, object, property, prefix);
  }
  if (events != nullptr) events->setExpanded(expanded_.count(prefix + "(Events)") > 0);
}

void PropertyPanel::AddProperty(QTreeWidgetItem* parent, TPersistent* object,
                                const TPropInfo* property, const QString& prefix) {
  const QString name = QString::fromStdString(property->name);
  PropertyRow row;
  row.document = &document_;
  row.object = object;
  row.property = property;
  row.editor = GetPropertyEditor(&document_, property, {object});
  row.path = prefix + name;
  row.refresh = [this] { ScheduleRebuild(); };

  auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, name);
  item->setData(0, kPathRole, row.path);
  tree_->setItemWidget(item, 1, MakePropertyControl(row, tree_));

  if (property->type->kind == tkSet) {
    for (int element = 0; element < static_cast<int>(property->type->names.size()); ++element) {
      auto* child = new QTreeWidgetItem(item);
      const QString element_name = QString::fromStdString(property->type->names[element]);
      child->setText(0, element_name);
      child->setData(0, kPathRole, row.path + "." + element_name);
      tree_->setItemWidget(child, 1, MakeSetElementControl(row, element, tree_));
    }
  } else if (TPersistent* nested = NestedObject(*property, *object)) {
    // Nested objects are not registered classes: their declared class
    // describes them.
    AddProperties(item, nested, property->type->class_info, row.path + ".");
  }
  if (item->childCount() > 0) item->setExpanded(expanded_.count(row.path) > 0);
}

}  // namespace tessel::designer
