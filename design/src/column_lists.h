#pragma once

// The table and column controls that the SQL builder and the
// update-parameters dialog share: a drop-down of names and multi-select
// column lists filled from the catalog. GUI thread only.

#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QWidget;

namespace tessel {

class TStrings;

namespace design {

QComboBox* NewDropDownList(QWidget* parent, const char* name, int left, int top, int width,
                           int height);
// A list in which several entries can be selected (Ctrl and Shift extend).
QListWidget* NewColumnList(QWidget* parent, const char* name, int left, int top, int width,
                           int height);
void FillCombo(QComboBox* combo, const std::vector<std::string>& names);
void FillList(QListWidget* list, const std::vector<std::string>& names);
// The selected entries, in list order.
std::vector<std::string> SelectedNames(const QListWidget* list);
// Selects every entry that matches one of the names without regard to case;
// names the list does not hold are passed over.
void SelectNames(QListWidget* list, const TStrings* names);
// The position of a name in a combo, without regard to case; -1 if absent.
int FindName(const QComboBox* combo, const std::string& name);

}  // namespace design
}  // namespace tessel
