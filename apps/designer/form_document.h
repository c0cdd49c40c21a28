#pragma once

// The form being designed: a root component (a TDataModule for a new form)
// that owns the placed components, the file it came from, whether it changed
// since it was read or saved, and which component is selected. It is the
// TFormDesigner the property and component editors report to. Views listen
// to its signals; a component is announced before it is destroyed so that no
// view keeps a pointer to it.
//
// Every change is undoable: when the form reports Modified, its text is
// compared with the text after the last change, and a change becomes a
// command on the undo stack (undo_commands.h). Undo and redo rebuild the
// form from text, announced as FormRestored, so views start over from the
// new components. The form is modified while the stack is away from where
// it was read or saved. Owns the root and the stack; GUI thread only.

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <map>
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
  // The components written inside parent (a dataset's persistent fields),
  // in their order; they are listed under it, not placed on the form.
  std::vector<TComponent*> Children(const TComponent* parent) const;
  // Whether the component is one of another's children.
  static bool IsNested(const TComponent* component) {
    return component->GetParentComponent() != nullptr;
  }
  const QString& FileName() const { return file_name_; }
  bool IsModified() const { return modified_; }
  QUndoStack* UndoStack() const { return undo_; }
  // The form's text as it is now (what Copy takes from).
  std::string Text() const;

  // An editor or a view changed the form.
  void Modified() override;
  // The same, the change named as the Edit menu shows it.
  void ModifiedAs(const std::string& change, const std::string& subject) override;

  // Replaces the form by an empty one named DataModule1.
  void NewForm();
  // Reads a form file; adjust (may be null) runs once the properties are
  // set, before any component acts on them. A file that cannot be read
  // raises and leaves the current form as it was.
  void Open(const QString& file_name,
            const std::function<void(TComponent& root)>& adjust = nullptr);
  // Writes the form to file_name, which becomes the form's file; raises
  // when it cannot be written. A form holding a password is written
  // readable by its owner only, or without the passwords when
  // keep_passwords is false. Returns the components whose password the
  // file holds.
  std::vector<std::string> Save(const QString& file_name, bool keep_passwords = true);

  // Creates a component of the class on the form, named after the class
  // without its T and the first free number (SQLServer1, Tessel2).
  TComponent* AddComponent(const TClassInfo* info);
  // Destroys a component of the form.
  void DeleteComponent(TComponent* component);
  std::string UniqueName(const TClassInfo* info) const;
  // Adds the components of a clip (clipboard.h) to the form as one change
  // and selects the first; raises when the clip cannot be read, and the form
  // stays as it was. Fields join the dataset `into` names (empty: the one
  // they are named after); one that was open and does not open again with
  // them stays closed, and Announced says why.
  std::vector<TComponent*> Paste(const std::string& clip, const std::string& into = {});

  // How the next change reads in the Edit menu ("Move Tessel1") and the
  // component it is about; a change without a note is a property edit of
  // the selected component.
  void NoteChange(const QString& text, const std::string& subject);
  // Puts the form back to text (undo and redo) and selects subject if the
  // form has it. A form that cannot be rebuilt stays and Announced says why.
  void Restore(const std::string& text, const std::string& subject);

  TComponent* Selected() const { return selected_; }
  void Select(TComponent* component);

 signals:
  // The whole form was replaced (new or opened); views start over.
  void FormReplaced();
  // Undo, redo or paste rebuilt the form from text; views start over.
  void FormRestored();
  // Something the user should know about a change, for the status line.
  void Announced(const QString& text);
  void ComponentAdded(TComponent* component);
  // Sent before the component is destroyed.
  void ComponentRemoved(TComponent* component);
  void SelectionChanged(TComponent* component);
  // A property, a name, the modified flag or the file name changed.
  void Changed();

 private:
  void Replace(std::unique_ptr<TComponent> root);
  // Reads form text into a new root, designing, events unbound.
  static std::unique_ptr<TComponent> ReadDesigning(const std::string& text,
                                                   const std::string& file_name);
  // Swaps in a root read from text; views hear FormRestored.
  void SwapRoot(std::unique_ptr<TComponent> root);
  // Starts the history over from the form as it is.
  void ResetHistory();
  // The query-to-update-object links, to notice one a change drops.
  std::map<std::string, std::string> UpdateLinks() const;
  void AnnounceDroppedLinks(const std::map<std::string, std::string>& before);

  std::unique_ptr<TComponent> root_;
  QString file_name_;
  bool modified_ = false;
  TComponent* selected_ = nullptr;
  QUndoStack* undo_;
  std::string text_;
  std::map<std::string, std::string> links_;
  QString note_text_;
  std::string note_subject_;
};

}  // namespace tessel::designer
