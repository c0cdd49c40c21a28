#pragma once

// The property panel: the published properties of the selected component
// (the form itself when nothing is selected), one row each, with an editor
// fitting the property's type and its registered property editor: text for
// strings and numbers, a check box for booleans, a drop-down for
// enumerations and for references to other components of the form, a check
// box per element of a set, expandable rows for nested objects, the
// string-list dialog for string lists, the registered dialog (Edit) for
// properties whose editor asks for one (paDialog), and for events, grouped
// under an Events row, an editable drop-down of handler names: the handlers
// registered for the event's type and those the form's events of that type
// use, or a new name typed in (an identifier; empty clears the event).
//
// Every change goes through the property editor, which tells the document
// (TFormDesigner::Modified); the rows are then rebuilt from the component,
// after the control that made the change has returned. A value that does not
// fit is shown as an error and the row goes back to the property's value.
// Refers to the document without owning it. GUI thread only.

#include <QWidget>
#include <memory>
#include <set>

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessel {
class TClassInfo;
class TPersistent;
struct TPropInfo;
}  // namespace tessel

namespace tessel::designer {

class FormDocument;

class PropertyPanel : public QWidget {
  Q_OBJECT

 public:
  explicit PropertyPanel(FormDocument& document, QWidget* parent = nullptr);
  ~PropertyPanel() override;

  QTreeWidget* Tree() const { return tree_; }
  // The drop-down of the form's components above the rows.
  QComboBox* ComponentList() const { return components_; }
  // The row of a property path ("SQL", "UpdateParams.TableName",
  // "Options.LocalEdit"), or null.
  QTreeWidgetItem* Row(const QString& path) const;
  // The control that edits the property at path, or null.
  QWidget* Editor(const QString& path) const;
  // Rebuilds the rows now.
  void Rebuild();

 private:
  void ScheduleRebuild();
  void FillComponentList();
  void AddProperties(QTreeWidgetItem* parent, TPersistent* object, const TClassInfo* info,
                     const QString& prefix);
  void AddProperty(QTreeWidgetItem* parent, TPersistent* object, const TPropInfo* property,
                   const QString& prefix);

  FormDocument& document_;
  QComboBox* components_;
  QTreeWidget* tree_;
  bool rebuild_pending_ = false;
  // Paths of expanded rows, kept across rebuilds and selections.
  std::set<QString> expanded_;
};

}  // namespace tessel::designer
