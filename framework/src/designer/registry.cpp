#include <algorithm>

#include "framework/component.h"
#include "framework/designer.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

struct PropertyEditorEntry {
  const TTypeInfo* type;
  const TClassInfo* component_class;
  std::string name;
  TPropertyEditorClass editor;

  // How closely the entry names what it covers: a name counts more than a class.
  int Specificity() const { return (name.empty() ? 0 : 2) + (component_class ? 1 : 0); }
};

struct ComponentEditorEntry {
  const TClassInfo* component_class;
  TComponentEditorClass editor;
};

struct Registry {
  std::vector<TPalettePage> pages;
  std::vector<PropertyEditorEntry> property_editors;
  std::vector<ComponentEditorEntry> component_editors;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool TypeMatches(const TTypeInfo* registered, const TTypeInfo* property_type) {
  if (registered == property_type) return true;
  // A class type also covers its descendants.
  return registered->class_info != nullptr && property_type->class_info != nullptr &&
         property_type->class_info->InheritsFrom(registered->class_info);
}

}  // namespace

void RegisterComponents(const std::string& page, std::vector<const TClassInfo*> classes) {
  auto& pages = TheRegistry().pages;
  auto it = std::find_if(pages.begin(), pages.end(),
                         [&](const TPalettePage& p) { return CompareText(p.name, page) == 0; });
  if (it == pages.end()) {
    pages.push_back({page, {}});
    it = pages.end() - 1;
  }
  for (const TClassInfo* info : classes) {
    RegisterClass(info);
    it->classes.push_back(info);
  }
}

void RegisterPropertyEditor(const TTypeInfo* property_type, const TClassInfo* component_class,
                            const std::string& property_name, TPropertyEditorClass editor) {
  TheRegistry().property_editors.push_back(
      {property_type, component_class, property_name, std::move(editor)});
}

void RegisterComponentEditor(const TClassInfo* component_class, TComponentEditorClass editor) {
  TheRegistry().component_editors.push_back({component_class, std::move(editor)});
}

const std::vector<TPalettePage>& PalettePages() {
  return TheRegistry().pages;
}

std::unique_ptr<TPropertyEditor> GetPropertyEditor(TFormDesigner* designer,
                                                   const TPropInfo* property,
                                                   std::vector<TPersistent*> selection) {
  const PropertyEditorEntry* best = nullptr;
  for (const auto& entry : TheRegistry().property_editors) {
    if (!TypeMatches(entry.type, property->type)) continue;
    if (entry.component_class != nullptr &&
        (selection.empty() || !entry.component_class->IsInstance(*selection.front()))) {
      continue;
    }
    if (!entry.name.empty() && CompareText(entry.name, property->name) != 0) continue;
    if (best == nullptr || entry.Specificity() >= best->Specificity()) best = &entry;
  }
  if (best != nullptr) return best->editor(designer, property, std::move(selection));
  return std::make_unique<TPropertyEditor>(designer, property, std::move(selection));
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* component,
                                                     TFormDesigner* designer) {
  const ComponentEditorEntry* best = nullptr;
  for (const auto& entry : TheRegistry().component_editors) {
    if (!entry.component_class->IsInstance(*component)) continue;
    // The entry for the nearest ancestor wins; among equals, the later one.
    if (best == nullptr || entry.component_class->InheritsFrom(best->component_class)) {
      best = &entry;
    }
  }
  if (best != nullptr) return best->editor(component, designer);
  return std::make_unique<TComponentEditor>(component, designer);
}

void ClearDesignerRegistry() {
  TheRegistry() = Registry{};
}

}  // namespace tessel
