#pragma once

// Cut, Copy and Paste of components as form-file text, so that what is
// copied from one form pastes into another (or into a text editor and back).
// A clip holds one or more objects as a form file writes them, at indent 0.
// Pasting renames a component whose name the form already uses (Tessel1
// becomes the first free Tessel<n>), nested components (a dataset's fields)
// included, a field named after its dataset taking the dataset's new name;
// it points references between pasted components at their new names, keeps references to components
// the form has (but an update object stays with the query it serves) and leaves out those it lacks,
// and drops a saved place that would put the icon on another. A field (copied alone from its
// dataset) pastes into a dataset of the form, named after that dataset and given a field name the
// dataset does not use yet. Pure text over the class registry; main thread.

#include <string>
#include <vector>

namespace tessel::designer {

// The clip text of the form's component `name`, a dataset's field included;
// empty when the form holds no such component.
std::string CopyComponentText(const std::string& form_text, const std::string& name);

struct PastedForm {
  std::string form_text;              // the form with the clip's components added
  std::vector<std::string> names;     // their names in the form, in clip order
  std::vector<std::string> datasets;  // the datasets the clip's fields joined
};

// Adds the clip's components to the form's text. The clip's fields join the
// dataset `into` names, or when it is empty the form's dataset whose name
// starts theirs (the one they were copied from). Raises Exception when the
// clip holds no component, or a field has no dataset of the form to join.
PastedForm PasteComponentText(const std::string& form_text, const std::string& clip,
                              const std::string& into = {});

// The form's text with the named datasets' Active = True left out, so that
// they are read closed.
std::string WithDataSetsClosed(const std::string& form_text,
                               const std::vector<std::string>& datasets);

}  // namespace tessel::designer
