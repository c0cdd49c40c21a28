#include "column_lists.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

#include "form_face.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"

namespace tessel::design {

QComboBox* NewDropDownList(QWidget* parent, const char* name, int left, int top, int width,
                           int height) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  Place(combo, left, top, width, height);
  return combo;
}

QListWidget* NewColumnList(QWidget* parent, const char* name, int left, int top, int width,
                           int height) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Place(list, left, top, width, height);
  return list;
}

void FillCombo(QComboBox* combo, const std::vector<std::string>& names) {
  const QSignalBlocker quiet(combo);
  combo->clear();
  for (const std::string& name : names) combo->addItem(ToQ(name));
  combo->setCurrentIndex(-1);
}

void FillList(QListWidget* list, const std::vector<std::string>& names) {
  const QSignalBlocker quiet(list);
  list->clear();
  for (const std::string& name : names) list->addItem(ToQ(name));
}

std::vector<std::string> SelectedNames(const QListWidget* list) {
  std::vector<std::string> names;
  for (int row = 0; row < list->count(); ++row) {
    if (list->item(row)->isSelected()) names.push_back(FromQ(list->item(row)->text()));
  }
  return names;
}

void SelectNames(QListWidget* list, const TStrings* names) {
  const QSignalBlocker quiet(list);
  for (int i = 0; i < names->Count(); ++i) {
    for (int row = 0; row < list->count(); ++row) {
      if (SameText(FromQ(list->item(row)->text()), names->Get(i))) {
        list->item(row)->setSelected(true);
        break;
      }
    }
  }
}

int FindName(const QComboBox* combo, const std::string& name) {
  for (int i = 0; i < combo->count(); ++i) {
    if (SameText(FromQ(combo->itemText(i)), name)) return i;
  }
  return -1;
}

}  // namespace tessel::design
