#pragma once

// The package's design-time entry. Register puts the three components on the
// palette page "Tessel" and connects the editors to the form designer: a
// property editor for parameter lists, one for a query's update parameters,
// a component editor that opens the SQL builder on an update object, and one
// that opens the fields dialog on a query.
// The editors keep nothing between uses: each creates its dialog, hands it a
// working copy or the component, and applies the result. GUI thread only.

#include <string>

#include "framework/designer.h"

namespace tessel {

// Registers the components and editors with the designer, and sends the
// framework's plain messages to a message box.
void Register();

// A TParams property: "(TParams)" and an ellipsis that opens the parameters
// dialog on a copy of the list. For a query the dialog also adds the names
// its SQL text refers to.
class TlqParamsProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override;
  std::string GetValue() const override;
  void Edit() override;
};

// A query's UpdateParams: "(TUpdateParams)" and an ellipsis that opens the
// update-parameters dialog on a copy.
class TlqUpdateParamsProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override;
  std::string GetValue() const override;
  void Edit() override;
};

// An update object's context menu: one verb that opens the SQL builder (also
// run by a double click).
class TlqSQLBuildEditor : public TComponentEditor {
 public:
  using TComponentEditor::TComponentEditor;
  int GetVerbCount() const override { return 1; }
  std::string GetVerb(int Index) const override;
  void ExecuteVerb(int Index) override;
};

// A query's context menu: one verb that opens the fields dialog on its
// persistent fields (also run by a double click).
class TlqFieldsEditor : public TComponentEditor {
 public:
  using TComponentEditor::TComponentEditor;
  int GetVerbCount() const override { return 1; }
  std::string GetVerb(int Index) const override;
  void ExecuteVerb(int Index) override;
};

}  // namespace tessel
