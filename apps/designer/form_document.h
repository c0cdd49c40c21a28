#pragma once

// The form being designed: a root component (a TDataModule for a new form)
// that owns the placed components, the file it came from, whether it changed
// since it was read or saved, and which component is selected. It is the
// TFormDesigner the property and component editors report to. Views listen
// to its signals; a component is announced before it is destroyed so that no
// view keeps a pointer to it. Owns the root; GUI thread only.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/designer.h"

namespace tessel::designer {

class FormDocument : public QObject, public TFormDesigner {
  Q_OBJECT

 public:
  explicit FormDocument(QObject* parent = nullptr);
  ~FormDocument() override;

  TComponent* Root() const { return root_.get(); }
  // The components the root owns, in creation order.
  std::vector<TComponent*> Components() const;
  const QString& FileName() const { return file_name_; }
  bool IsModified() const { return modified_; }

  // An editor or a view changed the form.
  void Modified() override;

  // Replaces the form by an empty one named DataModule1.
  void NewForm();
  // Reads a form file; adjust (may be null) runs once the properties are
  // set, before any component acts on them. A file that cannot be read
  // raises and leaves the current form as it was.
  void Open(const QString& file_name,
            const std::function<void(TComponent& root)>& adjust = nullptr);
  // Writes the form to file_name, which becomes the form's file; raises
  // when it cannot be written.
  void Save(const QString& file_name);

  // Creates a component of the class on the form, named after the class
  // without its T and the first free number (SQLServer1, Tessel2).
  TComponent* AddComponent(const TClassInfo* info);
  // Destroys a component of the form.
  void DeleteComponent(TComponent* component);
  std::string UniqueName(const TClassInfo* info) const;

  TComponent* Selected() const { return selected_; }
  void Select(TComponent* component);

 signals:
  // The whole form was replaced (new or opened); views start over.
  void FormReplaced();
  void ComponentAdded(TComponent* component);
  // Sent before the component is destroyed.
  void ComponentRemoved(TComponent* component);
  void SelectionChanged(TComponent* component);
  // A property, a name, the modified flag or the file name changed.
  void Changed();

 private:
  void Replace(std::unique_ptr<TComponent> root);

  std::unique_ptr<TComponent> root_;
  QString file_name_;
  bool modified_ = false;
  TComponent* selected_ = nullptr;
};

}  // namespace tessel::designer
