#pragma once

// The designer's registry: what a package tells the form designer when it is
// loaded. RegisterComponents puts component classes on a palette page;
// RegisterPropertyEditor and RegisterComponentEditor name the editor class the
// designer creates for a property or a component. Editors are created for one
// use and destroyed after it; they tell the designer of a change through
// TFormDesigner::Modified. Registration and lookup: main thread.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/object.h"
#include "framework/typinfo.h"

namespace tessel {

class TComponent;
class TPersistent;

// The designer that edits a form; editors tell it when they changed something.
class TFormDesigner {
 public:
  virtual ~TFormDesigner() = default;
  virtual void Modified() = 0;
  // Modified, saying what the change was as its history shows it ("Delete
  // field Query1name") and which component it is about; a designer that
  // keeps no such history only hears Modified.
  virtual void ModifiedAs(const std::string& change, const std::string& subject) {
    (void)change;
    (void)subject;
    Modified();
  }
};

// How the property panel shows a property.
enum TPropertyAttribute : std::uint8_t {
  paValueList,      // a drop-down list of values (GetValues)
  paSubProperties,  // expands into the object's own properties
  paDialog,         // an ellipsis button that calls Edit
  paMultiSelect,    // shown when several components are selected
  paAutoUpdate,     // SetValue after every keystroke
  paSortList,       // the value list is sorted
  paReadOnly,       // the value text cannot be edited
  paRevertable,     // can go back to its inherited value
};
using TPropertyAttributes = TSet<TPropertyAttribute>;

// Edits one property of the selected components. The base shows the value
// of the first selected component as text and has no dialog.
class TPropertyEditor : public TObject {
 public:
  // selection: the components being edited (at least one, not owned);
  // designer may be null (then Modified tells nobody).
  TPropertyEditor(TFormDesigner* designer, const TPropInfo* property,
                  std::vector<TPersistent*> selection);

  virtual TPropertyAttributes GetAttributes() const;
  // The text the property panel shows.
  virtual std::string GetValue() const;
  // Sets the property of every selected component from text; raises
  // EConvertError for a text that does not fit the property's type. For an
  // event the text is the handler's name ("" clears the event): it must be
  // an identifier, and a handler registered under it must be of the
  // event's type. Components being designed keep the name only; others are
  // bound to the registered handler (or to a named one that does nothing).
  virtual void SetValue(const std::string& value);
  // The names a drop-down offers: enumerators, booleans, and for an event
  // the registered handlers of its type together with the handler names
  // events of the same type already use on the form, sorted.
  virtual std::vector<std::string> GetValues() const;
  // The dialog behind paDialog; the base does nothing.
  virtual void Edit() {}

  const TPropInfo* GetPropInfo() const { return property_; }
  const std::string& GetName() const { return property_->name; }
  int PropCount() const { return static_cast<int>(selection_.size()); }
  TPersistent* GetComponent(int index) const { return selection_.at(index); }
  TFormDesigner* Designer() const { return designer_; }
  // Tells the designer that the form changed.
  void Modified() const;

 private:
  std::vector<std::string> HandlerNames() const;
  void SetHandler(const std::string& name);

  TFormDesigner* designer_;
  const TPropInfo* property_;
  std::vector<TPersistent*> selection_;
};

// Adds verbs to a component's context menu and handles a double click. The
// base has no verbs; Edit runs verb 0 when there is one.
class TComponentEditor : public TObject {
 public:
  TComponentEditor(TComponent* component, TFormDesigner* designer);

  virtual int GetVerbCount() const { return 0; }
  virtual std::string GetVerb(int /*index*/) const { return {}; }
  virtual void ExecuteVerb(int /*index*/) {}
  // The double click.
  virtual void Edit();

  TComponent* Component() const { return component_; }
  TFormDesigner* Designer() const { return designer_; }
  void Modified() const;

 private:
  TComponent* component_;
  TFormDesigner* designer_;
};

// Editor classes: factories that make one editor for one use.
using TPropertyEditorClass = std::function<std::unique_ptr<TPropertyEditor>(
    TFormDesigner*, const TPropInfo*, std::vector<TPersistent*>)>;
using TComponentEditorClass =
    std::function<std::unique_ptr<TComponentEditor>(TComponent*, TFormDesigner*)>;

// The factory of editor class E, which takes its base's constructor arguments.
template <class E>
TPropertyEditorClass PropertyEditorClass() {
  return [](TFormDesigner* d, const TPropInfo* p, std::vector<TPersistent*> s) {
    return std::unique_ptr<TPropertyEditor>(std::make_unique<E>(d, p, std::move(s)));
  };
}
template <class E>
TComponentEditorClass ComponentEditorClass() {
  return [](TComponent* c, TFormDesigner* d) {
    return std::unique_ptr<TComponentEditor>(std::make_unique<E>(c, d));
  };
}

// Puts the classes on palette page `page`, after what the page holds.
void RegisterComponents(const std::string& page, std::vector<const TClassInfo*> classes);
// Uses editor for properties of type property_type (a class type also covers
// its descendants) on component_class and its descendants (null: any class),
// named property_name (empty: any name, case ignored otherwise). A later
// registration wins over an earlier one that is no more specific.
void RegisterPropertyEditor(const TTypeInfo* property_type, const TClassInfo* component_class,
                            const std::string& property_name, TPropertyEditorClass editor);
void RegisterComponentEditor(const TClassInfo* component_class, TComponentEditorClass editor);

// What was registered.
struct TPalettePage {
  std::string name;
  std::vector<const TClassInfo*> classes;
};
// The pages in order of first registration.
const std::vector<TPalettePage>& PalettePages();
// The editor for property of the selection (its first component decides the
// class); the base TPropertyEditor when none is registered.
std::unique_ptr<TPropertyEditor> GetPropertyEditor(TFormDesigner* designer,
                                                   const TPropInfo* property,
                                                   std::vector<TPersistent*> selection);
// The editor for component; the base TComponentEditor when none is registered.
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* component,
                                                     TFormDesigner* designer);
// Forgets every registration (a package unloaded; tests).
void ClearDesignerRegistry();

}  // namespace tessel
